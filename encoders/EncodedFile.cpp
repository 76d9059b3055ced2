// SPDX-License-Identifier: GPL-3.0-or-later
#include "EncodedFile.h"

namespace encoders {

bool EncodedFile::Create(const std::string& path) {
    failed_ = false;
    if (!file_.Create(path)) {
        messages_.MessageBox("Can not create the file.", caption_, platform::MbOk);
        return false;
    }
    return true;
}

bool EncodedFile::Append(const uint8_t* data, uint32_t size) {
    if (failed_) {
        return false;
    }
    if (!file_.Write(data, size)) {
        ReportWriteFailure();
        return false;
    }
    return true;
}

bool EncodedFile::Close() {
    if (!file_.IsOpen()) {
        return !failed_;
    }
    const bool closed = file_.Close();
    if (!closed && !failed_) {
        ReportWriteFailure();
    }
    return closed && !failed_;
}

void EncodedFile::ReportWriteFailure() {
    failed_ = true;
    messages_.MessageBox("Can not write the file.", caption_, platform::MbOk);
}

}  // namespace encoders
