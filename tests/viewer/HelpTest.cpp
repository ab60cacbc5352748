// "ヘルプ" in the main window: the readme window's caption, its text and its place.
#include "MainWindowFixture.h"
#include "readme/ReadmeWindow.h"

#include <QPushButton>
#include <QTextEdit>

using namespace tessaly;
using namespace tessaly::testing;

class HelpTest : public MainWindowTest {
protected:
    MainWindow& OpenWithReadme() {
        MainWindow& f = Open();
        readme_ = new ReadmeWindow(&f);
        f.SetReadmeWindow(readme_);
        f.SetReadmePath(QString::fromStdString((dir_ / "TESSreadme.txt").string()));
        return f;
    }
    ReadmeWindow* readme_ = nullptr;
};

TEST_F(HelpTest, WithoutAReadmeShowsTheComplaintAndTheCredits) {
    MainWindow& f = OpenWithReadme();
    f.Ui().readmeItem->trigger();
    EXPECT_TRUE(readme_->isVisible());
    EXPECT_EQ(readme_->windowTitle(),
              QStringLiteral("Lumivex v0.1 '060717 By Pellori"
                             "https://pellori.example/contact/contact_me.html"));
    EXPECT_EQ(readme_->textBox->toPlainText(), MissingReadmeText());
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(HelpTest, ReadmeIsLoadedEachTimeAndKeptWhenItGoesMissing) {
    MainWindow& f = OpenWithReadme();
    const auto path = dir_ / "TESSreadme.txt";
    fixtures::WriteFile(path, {'{', '\\', 'r', 't', 'f', '1', ' ', 'H', 'i', '}'});
    f.Ui().readmeItem->trigger();
    EXPECT_EQ(readme_->textBox->toPlainText(), QStringLiteral("Hi"));
    readme_->textBox->setPlainText(QStringLiteral("edited"));
    f.Ui().readmeItem->trigger(); // the file loads again: the edit is gone
    EXPECT_EQ(readme_->textBox->toPlainText(), QStringLiteral("Hi"));
    readme_->textBox->setPlainText(QStringLiteral("edited"));
    std::filesystem::remove(path);
    f.Ui().readmeItem->trigger(); // no file: the box keeps what it shows
    EXPECT_EQ(readme_->textBox->toPlainText(), QStringLiteral("edited"));
}

TEST_F(HelpTest, ReadmeWindowIsCentredOverTheMainWindowEachTime) {
    MainWindow& f = OpenWithReadme();
    SetOuterPos(f, {100, 50});
    f.Ui().readmeItem->trigger();
    const QSize outer = OuterSize(*readme_);
    EXPECT_EQ(outer, QSize(429 + 8, 238 + 34));
    EXPECT_EQ(OuterPos(*readme_),
              QPoint(100 + (593 - outer.width()) / 2, 50 + (428 - outer.height()) / 2));
    SetOuterPos(*readme_, {0, 0});
    f.Ui().readmeItem->trigger(); // while open: back over the centre
    EXPECT_EQ(OuterPos(*readme_),
              QPoint(100 + (593 - outer.width()) / 2, 50 + (428 - outer.height()) / 2));
    readme_->closeButton->click();
    EXPECT_FALSE(readme_->isVisible());
    EXPECT_TRUE(f.isVisible());
}
