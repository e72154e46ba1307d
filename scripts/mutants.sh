#!/usr/bin/env bash
# Hand-made faults, each applied in turn to a scratch copy of the tree; the
# tests run against each, and a table says which test caught it. A fault no
# test catches is a missing test. A tool for developers, not part of the
# test command.
#   scripts/mutants.sh [NUMBER...]             faults in the core logic and
#                                              xdbtool, against the native
#                                              tests (a few minutes)
#   scripts/mutants.sh --windows [NUMBER...]   faults in the Win32 code,
#                                              against the tests under Wine
#                                              that should catch them (about
#                                              an hour, the release's fault a
#                                              release build more)
# Exit status: 0 every fault caught, 1 some fault went unnoticed or could
# not be tried (its text not found, or it does not build).
set -euo pipefail
root=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
scratch=${MUTANTS_DIR:-$root/build/mutants}
jobs=${JOBS:-2}
preset=native
if [ "${1:-}" = --windows ]; then
    preset=windows
    shift
fi

# FILE @ TEXT AS IT IS @ TEXT WITH THE FAULT @ WHAT THE FAULT IS [@ TESTS]
# Texts are taken as written in the source; \n stands for a line break.
# TESTS (Windows faults only): the CTest names to run, as a regular
# expression.
native_faults=$(cat <<'LIST'
src/app/VersionCheck.cpp@if (old < current)@if (old > current)@the version comparison turned
src/db/VersionText.cpp@value > 32767@value > 32768@a version number one past the range accepted
src/db/VersionText.cpp@versionText.size() <= 3@versionText.size() < 3@a three-character version text accepted
src/app/StartUp.cpp@find_first_not_of(' ')@find_first_not_of(" \t")@tabs trimmed before "/!"
src/app/StartUp.cpp@trimmed.substr(2)@trimmed.substr(3)@the path loses its first character
src/app/HandOffCommands.cpp@+ "0" +@+ "1" +@the next copy name off by one
src/platform/Paths.cpp@path.rfind('\\')@path.find('\\')@the folder cut at the first backslash
src/db/API_FILE.cpp@return declared == totalLength;@return declared <= totalLength;@a declared length shorter than the text accepted
src/db/API_FILE.cpp@"\x1D\x1E\x1F\x1E\x1D"@"\x1D\x1E\x1F\x1E\x1E"@the header marker changed
src/platform/FileAttributes.h@attribute::System | attribute::Directory@attribute::System@a folder taken for a file
src/platform/FileAttributes.h@(attribute::Hidden | @(attribute::Hidden | attribute::NotContentIndexed | @a file kept out of the search index counted as missing
src/app/Atualizador.cpp@    if (busy_) return;\n@\n@a second click handled while the first is
src/app/Atualizador.cpp@if (error == 0) break;@break;@the package removal not retried
src/app/Atualizador.cpp@createCopy(StagingName(installed, attempt)@createCopy(StagingName(installed, 0)@a taken staging name tried again and again
src/app/Atualizador.cpp@if (staged->replace(installed) != 0) {@if (staged->replace(installed) != 0 && false) {@a refused replacement reported as success
src/app/HandOff.cpp@        copy.held->remove();\n@\n@an unregistered copy left at the drive root
src/app/HandOff.cpp@system.processPendingEvents();\n        system.startProgram@system.startProgram@the cleanup start not retried after pending events
src/app/AtualizadorTexts.h@e clique em Repetir.";@e clique em Tentar.";@a text of the access box changed
src/app/Wait.cpp@} else if (platform::IsNotFound(error)) {@} else if (false) {@a missing file reported as not deleted
src/app/Wait.cpp@if (!SameBytes(*target, *self_)) return@if (false && !SameBytes(*target, *self_)) return@the cleanup deletes whatever is at the updater's path, unproven
src/app/HandOff.cpp@if (!system.isRunningProgram(self)) {@if (false) {@the hand-off copies and starts a file that is not the running program
src/app/WaitEgg.cpp@if (s.left >= kFarEnd) {@if (s.left > kFarEnd) {@the icon slides one step too far
src/platform/PanelShading.cpp@kDefaultBandWidth = 25;@kDefaultBandWidth = 24;@the default band width changed
src/platform/Decl.cpp@[Rename]@[Renamed]@the wininit.ini section misnamed
src/platform/mdlRegistry.cpp@value.data.substr(0, value.data.find('\0'))@value.data@a registry text read past its NUL
src/platform/SystemError.cpp@{112, "não há espaço suficiente no disco"}@{112, "disco cheio"}@a system error described in other words
src/app/Atualizador.cpp@form_.setCaption("Versão", system_.ansiToUtf8(newVersion_));@form_.setCaption("Versão", newVersion_);@the version text shown unconverted
src/crypto/clsCryptoFilterBox.cpp@std::min(name.find('\0'), kContainerNameBuffer)@kContainerNameBuffer@the container name read past its zero byte
src/crypto/clsCryptoFilterBox.cpp@if (verified.error != kNteBadSignature) {@if (verified.error != 0) {@a bad signature reported as a failure of the service
src/crypto/clsCryptoFilterBox.cpp@if (n > kLongestText) throw@if (n >= kLongestText) throw@a text of 1 GB - 1 refused
src/crypto/openssl/OpenSslProvider.cpp@O_CLOEXEC, 0600);@O_CLOEXEC, 0644);@the key file readable by others
src/crypto/openssl/OpenSslProvider.cpp@md5->value().begin(), kRc4KeyBytes,@md5->value().begin(), kRc4KeyBytes + 1,@a sixth hash byte in the 40-bit RC4 key
src/db/API_FILE.cpp@for (std::uint64_t offset = 0; offset < size;) {@for (std::uint64_t offset = 0; offset + piece < size;) {@the header-cost reader reads one piece too few
src/db/API_FILE.cpp@O processo de busca será finalizado.@O processo de busca será encerrado.@a sentence of the corrupted-database text changed
src/db/Database.cpp@if (Digits(total) != Digits(fixed)) total = fixed + Digits(total);@@the declared length one short where its digits grow
tools/xdbtool/Files.cpp@access == Access::OwnerOnly ? 0600 : 0666@access == Access::OwnerOnly ? 0644 : 0666@the exported key readable by others
tools/xdbtool/Files.cpp@        Unlink(temporary_.c_str());\n        temporary_.clear();@        temporary_.clear();@the temporary output not removed on failure
src/app/Atualizador.cpp@if (seal_ && package_ && package_->size() != seal_->size)@if (false)@a package of another size than the release's read anyway
src/app/Atualizador.cpp@if (staged && seal_ && !sealed.matches(seal_->sha256)) {@if (false) {@a release's package not checked against its hash
src/app/DigestingFile.cpp@        hash_ = provider_.sha256();\n        hashed_ = 0;@        if (!hash_) hash_ = provider_.sha256();@the hash of a copy tried again not started afresh
src/app/HandOff.cpp@platform::FileAccess::AdministratorsOnly@platform::FileAccess::AsTheFolder@the copy at the drive root open to every account
src/platform/Decl.cpp@deleteAtReboot(path); error != 0)@deleteAtReboot(path); error != 0 && false)@the system's refused deletion order ignored
src/app/Wait.cpp@if (++attempts_ < kAttempts && system_.fileInUse(path)) return;@if (system_.fileInUse(path)) return;@a file in use for good waited for forever
src/app/Wait.cpp@if (++attempts_ < kAttempts && system_.fileInUse(path)) return;@if (++attempts_ < kAttempts) return;@a write-protected updater retried for minutes
src/app/Atualizador.cpp@    form_.setEnabled("Command1", false);\n    form_.setEnabled("Command2", false);@    form_.setEnabled("Command2", false);@"Cancelar" offered during the copy
src/app/Atualizador.cpp@    if (busy_) return;  // delivered while a step@    // delivered while a step@a cancellation clicked during the copy handled
src/app/Atualizador.cpp@    if (copying_) return;  // the status@    // the status@a hint written over the copy's progress
src/app/AtualizadorTexts.cpp@copied * 100 / total@copied * 100 / (total + 1)@the progress shown against a byte too many
src/crypto/clsCryptoFilterBox.cpp@is its first half.\n            std::string buffer = WorkBuffer(InBuffer_);@is its first half.\n            std::string buffer = WorkBuffer(std::move(InBuffer_));@Decrypt empties InBuffer
src/crypto/clsCryptoFilterBox.cpp@stream->session, Password_, noContainer_)@stream->session, Password_, false)@a stream needing the container that ciphers can do without
src/crypto/clsCryptoFilterBox.cpp@std::numeric_limits<std::int32_t>::max() / 2;@std::numeric_limits<std::int32_t>::max();@a text of 1 GB accepted, its doubled buffer overflowing
src/crypto/clsCryptoFilterBox.cpp@Code(direction == Direction::Encrypt ? n : 2 * n)@Code(n)@a failed deciphering showing the text's length, not its buffer's
src/crypto/clsCryptoFilterBox.cpp@OutBuffer_.clear();\n    Session s;\n    try {\n@OutBuffer_.clear();\n    try {\n        Session s;\n@Decrypt's handles released before its failure is reported
src/crypto/clsCryptoFilterBox.cpp@looks like one.\n                Signature_.clear();@looks like one.@a failed signing leaving zeros that look like a signature
src/crypto/clsCryptoFilterBox.cpp@Signature_.resize(std::min<std::size_t>(length, Signature_.size()));@(void)length;@a signature padded past what the call wrote
src/app/Atualizador.cpp@(next == 0xA1 || @(@š left lower case in the missing-package message
src/app/Atualizador.cpp@wizard.form_.setCaption("status", wizard.hint_);@wizard.form_.setCaption("status", {});@the hint the pointer left cleared after the copy
src/app/Atualizador.cpp@if (remover) StartRemover(system_);@if (false) StartRemover(system_);@the remover not started when the executable was not held
src/app/UnattendedAnswers.cpp@if (title == texts::kReinstallTitle) return platform::Yes;@if (title == texts::kReinstallTitle) return platform::No;@the reinstall question answered No unattended
src/app/UnattendedAnswers.cpp@if (now - *inUseSince_ < kInUseWaitMs) {@if (now - *inUseSince_ <= kInUseWaitMs) {@a database in use waited for half a second too long
src/app/UnattendedAnswers.cpp@code_ = exit_code::kNoPackage;@code_ = exit_code::kBadPackage;@a missing package ending unattended with the corrupted one's code
src/app/UnattendedAnswers.cpp@code_ = exit_code::kNotInstalled;@code_ = exit_code::kNoPackage;@a product not installed ending unattended with a missing package's code
src/app/StartUp.cpp@text = text.substr(1, text.size() - 2);@text = text.substr(1);@the quoted log's closing quote kept in its path
src/app/Form.cpp@    changed(name, Change::Enabled);\n    keepFocus();@    changed(name, Change::Enabled);@the focus not moved off a control a step disables
src/app/Form.cpp@    changed(name, Change::Visible);\n    keepFocus();@    changed(name, Change::Visible);@the focus not moved off a control a step hides
src/app/Form.cpp@        if (tabOrder_[i].container.empty()) return true;@        return true;@Tab reaching a control in a hidden box
src/app/Form.cpp@    if (i == tabOrder_.size() || !tabOrder_[i].button || !canFocus(focused_)) return {};@    if (i == tabOrder_.size()) return {};@Enter pressing a focused box
src/app/Form.cpp@    return focused_;@    return {};@Enter pressing nothing
src/app/Atualizador.cpp@    if (form_["Command1"].enabled) Command1Click();@    Command1Click();@a close request handled while "Cancelar" is disabled
src/app/Atualizador.cpp@    busy_ = true;\n    const int answer =@    const int answer =@a second "End task" asking again meanwhile
src/app/Wait.cpp@    if (answer == platform::Ok) system_.requestReboot();@    if (answer == platform::Ok && !system_.requestReboot()) return;@a refused restart leaving the cleanup window open
src/app/Wait.cpp@    if (answer == platform::Ok) system_.requestReboot();@    if (answer == platform::Ok && system_.requestReboot()) return;@an accepted restart leaving the cleanup window open
src/app/Wait.cpp@    if (form_["Label1"].caption == wait_texts::kDone) ui_.endProgram();@    ui_.endProgram();@Alt+F4 ending the cleanup before "Pronto"
src/app/Wait.cpp@    form_.setCaption(kWindow, std::string(wait_texts::kDone));\n@@the cleanup window's text not its label's
src/platform/FileSecurity.h@(A;;FRFX;;;BU)@(A;;FA;;;BU)@the copy at the drive root writable by every user
src/app/PackageSeal.cpp@if (hex.size() != 2 * seal.sha256.size())@if (hex.size() < 2 * seal.sha256.size())@a release's seal with a longer hash taken for its own
LIST
)

windows_faults=$(cat <<'LIST'
src/platform/win32/Win32HeldFile.cpp@access, FILE_SHARE_READ, nullptr@access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr@a held file open to writers and deleters@Win32Files
src/platform/win32/Win32NewFile.cpp@DeleteOnClose(file_.get(), false, fromCreation_) ? 0 : LastErrorOr(ERROR_GEN_FAILURE);@0;@the staged copy's delete-on-close left set through the rename@Win32Files
src/platform/win32/Win32NewFile.cpp@if (file && !DeleteOnClose(file.get(), true, false)) {@if (false) {@a new file not the system's to delete where its creation cannot order it@Win32Files
src/platform/win32/DllSearch.cpp@set(LOAD_LIBRARY_SEARCH_SYSTEM32)@set(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)@the DLL search left open to the program's folder@e2e.TheRoad
src/platform/win32/Win32NewFile.cpp@CREATE_NEW,@CREATE_ALWAYS,@a copy made over a taken name@Win32Files
src/platform/win32/Win32HeldFile.cpp@if (const DWORD error = ClearReadOnly(file_.get(), readOnly); error != 0) return error;@(void)readOnly;@a read-only package or finished updater not cleared before its removal@Win32Files|e2e.TheRoad
src/platform/win32/Win32NewFile.cpp@    return ClearReadOnly(file.get(), restoreAttributes);@    return 0;@a read-only installed database not cleared before the replace@Win32Files
src/platform/win32/Win32NewFile.cpp@            if (readOnly != 0) ::SetFileAttributesW(wideTarget.c_str(), readOnly);\n@@a refused replace leaving the old database writable@Win32Files
src/platform/win32/Win32Platform.cpp@return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;@return error == 0;@the updater's process not waited for@Win32Files|e2e.TheRoad
src/app/win32/FormWindow.cpp@            SetTimer(window_, entry->timerId, static_cast<UINT>(state.interval), nullptr);@            SetTimer(window_, entry->timerId, static_cast<UINT>(2 * state.interval), nullptr);@the cleanup timers' intervals doubled@Win32WaitWindow
src/platform/win32/Win32NewFile.cpp@descriptor ? &security : nullptr@nullptr@the copy at the drive root made without its descriptor@e2e.TheRoad
src/platform/win32/Win32Platform.cpp@    if (!found) return {};@    if (!found || true) return {};@the release's hash check skipped (its seal never read)@release.unsigned_then_signed
src/platform/win32/Win32NewFile.cpp@            if (readOnly != 0) ::SetFileAttributesW(wideTarget.c_str(), readOnly);\n            return error;@            if (readOnly != 0) ::SetFileAttributesW(wideTarget.c_str(), readOnly);\n            return 0;@a refused replacement reported as installed@Win32Files
src/platform/win32/Win32Platform.cpp@    return IsRunningImage(file);@    return IsRunningImage(file) || true;@the running-image proof skipped@Win32Files|e2e.attack
src/platform/win32/RunningImage.cpp@if (std::memcmp(bytes.data(), base + at.begin, length) != 0) return false;@@the running image's sections not compared@Win32Files
src/platform/win32/RunningImage.cpp@value += delta;@value += 0;@the loader's relocations not applied to the file's bytes@Win32Files
src/platform/win32/Win32Platform.cpp@HoldFor::RemovalOnly, code@HoldFor::Removal, code@the cleanup's hold, refused the right to delete, taken without it@Win32Files
src/platform/win32/Win32NewFile.cpp@        UniqueHandle reader(::ReOpenFile(@        file_.reset();\n        UniqueHandle reader(::ReOpenFile(@the kept copy let go before it is held again@Win32Files
src/app/Wait.cpp@if (!SameBytes(*target, *self_)) return@if (false && !SameBytes(*target, *self_)) return@the cleanup deletes what a link in the updater's folder leads to@e2e.attack
src/platform/win32/WindowEvents.cpp@    UniqueHandle thread(::CreateThread(nullptr, 0, RunWork, &state, 0, nullptr));@    RunWork(&state);\n    UniqueHandle thread(::CreateThread(nullptr, 0, [](void*) -> DWORD { return 0; }, nullptr, 0, nullptr));@the copy made on the window's thread@TheWindowAnswers
src/platform/win32/Win32UserInterface.cpp@return answer > 0 ? answer : 0;@return answer > 0 ? answer : platform::Yes;@a box that could not be shown taken for a yes@Win32MessageBox
src/platform/win32/Win32Platform.cpp@    if (path.empty()) return false;\n    // A directory lookup@    if (path.empty() || path.find_first_of("*?") != std::string_view::npos) return false;\n    // A directory lookup@a name with wildcards taken for missing@Win32Files
src/app/win32/main.cpp@if (answers) app::RunUnattended@if (answers && false) app::RunUnattended@the wizard's window and boxes shown in the unattended mode@e2e.Unattended
src/platform/win32/MachineLock.cpp@if (::GetLastError() == ERROR_ALREADY_EXISTS)@if (false && ::GetLastError() == ERROR_ALREADY_EXISTS)@the machine's lock not taken: two updaters at once@e2e.Unattended
src/app/Unattended.cpp@    answers.corruptedIs(exit_code::kBadInstalled);\n@\n@a corrupted installed database ends with code 3, not 5@e2e.Unattended
src/app/UnattendedAnswers.cpp@code_ = exit_code::kInstallFailed;@code_ = exit_code::kTryLater;@a failed copy ends with 1618, retried for ever@e2e.Unattended
src/app/win32/FormWindow.cpp@            guard([&] { events_.onClose(); });\n            result = 0;\n            return true;@            return false;@a close request destroying the window under the logic@e2e.TheRoad|TheWindowAnswers
src/app/win32/FormWindow.cpp@        SendMessageW(button->hwnd, BM_CLICK, 0, 0);@        SendMessageW(button->hwnd, WM_NULL, 0, 0);@Enter pressing nothing@e2e.TheRoad
src/app/win32/FormWindow.cpp@            if (LOWORD(wParam) == WA_INACTIVE || HIWORD(wParam) != 0) return false;@            return false;@the focus not given back after a message box@e2e.TheRoad
src/app/win32/FormWindow.cpp@    SetWindowTextW(window_, Widen(form_[formName_].caption).c_str());\n    form_@    form_@the windows without their texts@e2e.TheRoad
CMakeLists.txt@        target_compile_options(${target} PRIVATE -fstack-protector-strong)\n@@the stack protector dropped from our programs@win32.Executable|release.unsigned_then_signed
CMakeLists.txt@                                              -Wl,--no-insert-timestamp)@)@the build time left in the program's header@win32.Executable|release.unsigned_then_signed
CMakeLists.txt@add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)@@the build's folders named in what it ships, so that a build elsewhere differs@release.unsigned_then_signed
scripts/release.sh@time.gmtime(max(epoch, 315532800))@time.gmtime()@the ZIP's entries dated at the release's time@release.unsigned_then_signed
CMakeLists.txt@        target_link_libraries(${target} PRIVATE atualizador_stack_guard)\n@@the stack guard seeded by libssp, loading DLLs before the search is restricted@e2e.TheRoad
src/platform/win32/Win32Platform.cpp@    if (auto value = query(KEY_WOW64_32KEY)) return value;\n@@the product's 32-bit registry view not read, its database taken for missing@Win32Files
LIST
)
faults=$native_faults
[ "$preset" = windows ] && faults=$windows_faults

mkdir -p "$scratch"
echo "mutants: copying the tree to $scratch"
rsync -a --delete --exclude /build --exclude /.git --exclude /dist "$root/" "$scratch/tree/"
cd "$scratch/tree"
# Built afresh: objects left by an interrupted run may hold a fault that
# their sources no longer show.
rm -rf build
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$jobs" >/dev/null
# Under Wine, each fault runs only the tests named for it (they take
# minutes); they must pass first.
run_tests() {  # run_tests TESTS: CTest's output in ctest.log
    if [ "$preset" = native ]; then
        timeout 900 ctest --preset native -j "$jobs" --timeout 60
    else
        timeout 2400 ctest --preset windows -R "$1"
    fi >"$scratch/ctest.log" 2>&1
}
if [ "$preset" = windows ]; then
    all=$(cut -d@ -f5 <<<"$faults" | sort -u | paste -sd'|' -)
    run_tests "$all" || { echo "mutants: the tests fail without any fault" >&2; exit 1; }
else
    run_tests || { echo "mutants: the tests fail without any fault" >&2; exit 1; }
fi

apply() {  # apply FILE OLD NEW: replaces exactly one occurrence, or fails
    python3 - "$@" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace('\\n', '\n'), sys.argv[3].replace('\\n', '\n')
text = open(path, encoding='utf-8').read()
if text.count(old) != 1:
    sys.exit(f"{path}: the text to change occurs {text.count(old)} times")
open(path, 'w', encoding='utf-8').write(text.replace(old, new))
PY
}

wanted=" $* "
printf '%-3s %-52s %s\n' '#' 'fault' 'caught by'
n=0 missed=0 untried=0
while IFS='@' read -r file old new what tests; do
    n=$((n + 1))
    [ $# -eq 0 ] || [[ $wanted == *" $n "* ]] || continue
    cp "$file" "$file.orig"
    verdict=""
    if ! apply "$file" "$old" "$new" 2>"$scratch/apply.log"; then
        verdict="(not applied: $(cat "$scratch/apply.log"))"
        untried=$((untried + 1))
    elif ! timeout 1800 cmake --build --preset "$preset" -j "$jobs" >"$scratch/build.log" 2>&1; then
        verdict="(does not build)"
        untried=$((untried + 1))
    else
        status=0
        run_tests "$tests" || status=$?
        verdict=$(sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \((Failed|Timeout|SEGFAULT|Subprocess aborted)\)$/\1/p' \
            "$scratch/ctest.log" | head -2 | paste -sd, -)
        if [ -z "$verdict" ] && [ "$status" -eq 124 ]; then
            verdict="(the tests never ended)"
        elif [ -z "$verdict" ]; then
            verdict="NOT CAUGHT"
            missed=$((missed + 1))
        fi
    fi
    mv "$file.orig" "$file"
    touch "$file"  # newer than what the fault built, so the next build undoes it
    printf '%-3s %-52s %s\n' "$n" "$what" "$verdict"
done <<<"$faults"
# Leave the scratch build as the tree is.
cmake --build --preset "$preset" -j "$jobs" >/dev/null 2>&1 || true
[ "$missed" -eq 0 ] && [ "$untried" -eq 0 ]
