#include "app/UnattendedAnswers.h"

#include <cstdlib>

#include "app/AtualizadorTexts.h"
#include "db/API_FILE.h"

namespace app {

namespace texts = atualizador_texts;

std::string LogLine(std::string_view title, std::string_view text) {
    std::string line(title.empty() ? "Atualizador" : title);
    line += ": ";
    bool lineBreak = false;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            lineBreak = true;
            continue;
        }
        if (lineBreak) line += ' ';
        lineBreak = false;
        line += c;
    }
    return line;
}

int UnattendedAnswers::messageBox(std::string_view text, int style, std::string_view title) {
    log(LogLine(title, text));
    if (title == texts::kReinstallTitle) return platform::Yes;
    if (title == texts::kAccessErrorTitle && text == texts::kAccessErrorText) {
        // The product holds its database: it may let go of it within the minute.
        const std::uint64_t now = host_.milliseconds();
        if (!inUseSince_) inUseSince_ = now;
        if (now - *inUseSince_ < kInUseWaitMs) {
            host_.sleep(kInUseRetryMs);
            return platform::Retry;
        }
        code_ = exit_code::kTryLater;
        return platform::Cancel;
    }
    if (title == texts::kAccessErrorTitle) {
        code_ = exit_code::kInstallFailed;
        return platform::Cancel;
    }
    // The new database is in place: a package kept is the deployment
    // tool's to remove with its cache.
    if (title == texts::kPackageKeptTitle) return platform::Cancel;

    if (title == texts::kMissingPackageTitle) code_ = exit_code::kNoPackage;
    if (title == texts::kPackageMismatchTitle) code_ = exit_code::kBadPackage;
    if (title == API_FILE::kCorruptedTitle) code_ = corrupted_;
    if (title == texts::kNoInstalledTitle) code_ = exit_code::kNotInstalled;
    if (title.empty() && text.starts_with(texts::UnexpectedErrorText({})))
        code_ = exit_code::kUnexpected;
    // Any other question is left unanswered: nothing is done on a choice
    // nobody made.
    switch (style & 0xF) {
        case platform::mb::OkOnly:
            return platform::Ok;
        case platform::mb::YesNo:
            return platform::No;
        default:
            return platform::Cancel;
    }
}

void UnattendedAnswers::endProgram() {
    end(code_);
}

void UnattendedAnswers::end(int code) {
    log("Código de saída: " + std::to_string(code));
    host_.exit(code);
    std::abort();  // not reached: a virtual call hides that exit does not return
}

}  // namespace app
