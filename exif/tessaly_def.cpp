#include "exif/tessaly_def.h"

#include "base/ShiftJis.h"

namespace tessaly {

namespace {

// Written in UTF-8 here; the program keeps them as Shift-JIS, converted once on first use.
constexpr std::array<std::string_view, kExifItemCount> kExifLabelsUtf8 = {
    "01:画像ファイル名",
    "02:撮影日時",
    "03:デジタル化日時",
    "04:最終変更日時",
    "05:画像の高さ",
    "06:画像の幅",
    "07:レンズ絞り(APEX)",
    "08:レンズF値",
    "09:被写体までの距離",
    "10:露光時間",
    "11:シャッタ速度(APEX)",
    "12:露光補正量(APEX)",
    "13:フラッシュ発光状態",
    "14:CCD感度(ISO)",
    "15:被写体の明るさ(APEX)",
    "16:露光制御モード",
    "17:レンズ焦点距離",
    "18:光源の種類",
    "19:レンズ開放F値",
    "20:測光モード",
    "21:カメラのメーカー",
    "22:カメラの機種",
    "23:著作権",
    "24:画像の説明",
    "25:コメント",
    "26:Exifのバージョン",
    "27:音声ファイル名",
};

} // namespace

const std::array<std::string, kExifItemCount>& ExifLabels() {
    static const std::array<std::string, kExifItemCount> labels = [] {
        std::array<std::string, kExifItemCount> sjis;
        for (std::size_t i = 0; i < sjis.size(); ++i)
            sjis[i] = Utf8ToSjis(kExifLabelsUtf8[i]);
        return sjis;
    }();
    return labels;
}

const std::string& ExifSizeLabel() {
    static const std::string label = Utf8ToSjis("99:サイズ");
    return label;
}

} // namespace tessaly
