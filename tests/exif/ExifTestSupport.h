// Shared helpers of the EXIF tests: files written from bytes, read by a TExifInfo.
#pragma once

#include "base/ShiftJis.h"
#include "exif/ExifInfo.h"
#include "tests/support/ExifBuilder.h"

#include <gtest/gtest.h>
#include <string>

namespace tessaly::testing {

using fixtures::ByteOrder;
using fixtures::Bytes;
using fixtures::ExifBuilder;

class ExifFiles : public ::testing::Test {
protected:
    // Writes the bytes to a new file of the scratch folder and returns its path.
    std::string Write(const Bytes& bytes) {
        const auto path = dir_ / ("file" + std::to_string(next_++) + ".jpg");
        fixtures::WriteFile(path, bytes);
        return path.string();
    }

    // Reads the file made of these bytes; true when the read-error event was raised.
    bool Read(TExifInfo& info, const Bytes& bytes) {
        bool raised = false;
        info.SetOnReadError([&raised](TExifInfo&) { raised = true; });
        info.SetImageFileName(Write(bytes));
        info.SetOnReadError({});
        return raised;
    }

    // Reads a file holding just the EXIF block built by `exif`.
    bool ReadBlock(TExifInfo& info, const ExifBuilder& exif) {
        return Read(info, fixtures::JpegWithExif(exif.Build()));
    }

    const fixtures::TempDir& Dir() const { return dir_; }

private:
    fixtures::TempDir dir_{"tessaly-exif-test"};
    int next_ = 0;
};

inline std::string Sjis(std::string_view utf8) {
    return Utf8ToSjis(utf8);
}

} // namespace tessaly::testing
