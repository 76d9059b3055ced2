// SPDX-License-Identifier: GPL-3.0-or-later
#include "Convertthread.h"

#include "OutputPath.h"
#include "ThreadHandOff.h"

TConvertThread::TConvertThread(bool createSuspended) {
    // Qt joins its threads through futexes; this marks the end of the thread's own use of the
    // object for the race detector, which the destructor's wait() then takes up.
    connect(
        this, &QThread::finished, this, [this] { platform::HandOffRelease(this); },
        Qt::DirectConnection);
    connect(this, &QThread::finished, this, [this] {
        if (FreeOnTerminate) {
            deleteLater();
        }
    });
    if (!createSuspended) {
        Resume();
    }
}

TConvertThread::~TConvertThread() {
    wait();
    platform::HandOffAcquire(this);
}

void TConvertThread::Resume() {
    start();
}

void TConvertThread::run() {
    ConversionReporter unheard;  // boxes still reach the user without a reporter
    ConversionReporter& reporter = reporter_ != nullptr ? *reporter_ : unheard;
    FileConversion conversion(options_, {}, reporter, terminated_);
    conversion.SourceOpener = SourceOpener;
    const std::string extension = TargetExtension(static_cast<int>(options_.OutputFormat));
    const int count = static_cast<int>(FileList.size());
    for (int i = 0; i < count && !Terminated(); ++i) {
        const std::string& source = FileList[static_cast<std::size_t>(i)];
        conversion.Convert(
            source,
            OutputPathFor(source, options_.CustomDir, options_.OutputDir, extension, kPosixPaths),
            i, count);
    }
    reporter.BatchEnded();
}
