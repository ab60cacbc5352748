#include "ui/MenuItems.h"

#include "ui/Guard.h"
#include "ui/TwoColumnMenu.h"

#include <QAction>
#include <QFont>
#include <QSignalBlocker>
#include <QWidget>

namespace tessaly {

QAction* AddMenuItem(TwoColumnMenu& menu, QWidget& owner, const QString& caption,
                     std::function<void()> handler, bool checkable) {
    auto* item = new QAction(caption, &owner);
    item->setCheckable(checkable);
    QObject::connect(item, &QAction::triggered, &owner,
                     [item, &owner, handler = std::move(handler)] {
                         if (item->isCheckable()) {
                             const QSignalBlocker block(item);
                             item->setChecked(!item->isChecked());
                         }
                         Guarded(handler, &owner);
                     });
    menu.addAction(item);
    return item;
}

QAction* AddMenuSeparator(TwoColumnMenu& menu, QWidget& owner) {
    auto* item = new QAction(&owner);
    item->setSeparator(true);
    menu.addAction(item);
    return item;
}

void SetDefault(QAction& item, bool isDefault) {
    QFont f = item.font();
    f.setBold(isDefault);
    item.setFont(f);
}

bool IsDefault(const QAction& item) {
    return item.font().bold();
}

void SetCheckDefault(QAction& item, bool value) {
    item.setChecked(value);
    SetDefault(item, value);
}

} // namespace tessaly
