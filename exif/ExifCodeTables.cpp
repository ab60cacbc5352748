#include "exif/ExifCodeTables.h"

#include "base/ShiftJis.h"

#include <array>
#include <map>
#include <string_view>
#include <utility>

namespace tessaly {
namespace {

struct CodeName {
    std::uint32_t code;
    std::string_view utf8;
};

using Table = std::map<std::uint32_t, std::string>;

Table MakeTable(std::initializer_list<CodeName> names) {
    Table table;
    for (const auto& [code, utf8] : names)
        table.emplace(code, Utf8ToSjis(utf8));
    return table;
}

// The names are written here in UTF-8 and converted to Shift-JIS once, on first use.
const std::array<Table, 9>& Tables() {
    static const std::array<Table, 9> tables = {
        MakeTable({{1, "非圧縮"}, {6, "JPEG"}}),
        MakeTable({{2, "RGB"}, {6, "YCbCr"}}),
        MakeTable({{2, "inch"}, {3, "cm"}}),
        MakeTable({{1, "sRGB"}, {65535, "Uncalibrated"}}),
        MakeTable({{1, "マニュアル設定"},
                   {2, "プログラムAE"},
                   {3, "絞り優先"},
                   {4, "シャッター速度優先"},
                   {5, "低速プログラム"},
                   {6, "高速プログラム"},
                   {7, "ポートレートモード"},
                   {8, "風景モード"}}),
        MakeTable({{0, "不明"},
                   {1, "平均測光"},
                   {2, "中央重点"},
                   {3, "スポット"},
                   {4, "多点スポット"},
                   {5, "マルチセグメント"},
                   {6, "部分測光"},
                   {255, "その他"}}),
        MakeTable({{0, "不明"},
                   {1, "昼光"},
                   {2, "蛍光灯"},
                   {3, "白熱電球"},
                   {10, "フラッシュ"},
                   {17, "標準ライトA"},
                   {18, "標準ライトB"},
                   {19, "標準ライトC"},
                   {20, "D55"},
                   {21, "D65"},
                   {22, "D75"},
                   {255, "その他"}}),
        MakeTable({{0, "非発光"},
                   {1, "発光(反射検出機構なし)"},
                   {5, "発光(反射光未検出)"},
                   {7, "発光(反射光検出)"}}),
        MakeTable({{2, "1チップカラーエリアセンサ"},
                   {3, "2チップカラーエリアセンサ"},
                   {4, "3チップカラーエリアセンサ"},
                   {5, "カラーシークエンシャルエリアセンサ"},
                   {7, "トリリニアセンサ"},
                   {8, "カラーシークエンシャルリニアセンサ"}}),
    };
    return tables;
}

} // namespace

const std::string* ExifCodeName(ExifCodeTable table, std::uint32_t code) {
    const Table& names = Tables()[static_cast<std::size_t>(table)];
    const auto it = names.find(code);
    return it == names.end() ? nullptr : &it->second;
}

std::string ExifCodeNameOrEmpty(ExifCodeTable table, std::uint32_t code) {
    const std::string* name = ExifCodeName(table, code);
    return name ? *name : std::string();
}

std::optional<std::uint8_t> MapOrientationCode(std::uint32_t code) {
    if (code > 8)
        return std::nullopt;
    if (code == 3)
        return 4;
    if (code == 4)
        return 3;
    return static_cast<std::uint8_t>(code);
}

} // namespace tessaly
