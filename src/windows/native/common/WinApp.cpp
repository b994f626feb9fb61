// The GUI entry's launch frame: a console for the trace when debugging, and
// a message box that shows the user why a launch failed.

#include "app.h"
#include "WinApp.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "ScopedResource.h"
#include "StringBuilder.h"
#include "SysInfo.h"
#include "WinSys.h"

namespace {

bool messageBoxShown = true;

// The console of the process that started the launcher, or a new one, with
// standard output and standard error reopened onto it; the process leaves
// it again when done.
class Console {
public:
    Console() {
        if (!AttachConsole(ATTACH_PARENT_PROCESS) && !AllocConsole()) {
            return;
        }
        attached = true;
        out = std::make_unique<Channel>(stdout);
        err = std::make_unique<Channel>(stderr);
    }
    ~Console() {
        err.reset();
        out.reset();
        if (attached) {
            FreeConsole();
        }
    }
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // One standard output stream reopened in place onto the console device.
    class Channel {
    public:
        explicit Channel(FILE* target) {
            FILE* stream = nullptr;
            if (freopen_s(&stream, "CONOUT$", "w", target) == 0) {
                reopened.reset(stream);
            }
        }

    private:
        ScopedFile reopened;
    };

private:
    bool attached = false;
    std::unique_ptr<Channel> out;
    std::unique_ptr<Channel> err;
};

// Whether anybody can see a window of this process. A service, a scheduled
// task that runs whether the user is logged on or not, or a remote shell
// has a window station without WSF_VISIBLE: a box there is never closed,
// so it would block the launcher (and the parent of a restart) for ever.
bool windowStationVisible() {
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (!GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof(flags),
                                   &needed)) {
        return true;
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

// A box taller than the screen cannot be read or closed; standard error
// keeps the whole text. Long texts keep their start, which names what
// failed, and their end, which says why.
WideString boxText(const WideString& text) {
    constexpr std::size_t head = 3000;
    constexpr std::size_t tail = 1000;
    if (text.size() <= head + tail) {
        return text;
    }
    // Never between the two halves of a surrogate pair.
    const auto isHighSurrogate = [](wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
    const std::size_t headEnd = isHighSurrogate(text[head - 1]) ? head - 1 : head;
    std::size_t tailStart = text.size() - tail;
    if (isHighSurrogate(text[tailStart - 1])) {
        --tailStart;
    }
    return text.substr(0, headEnd) + L"\n[...]\n" + text.substr(tailStart);
}

// Shows the launch error text in a message box captioned with the
// executable's file name.
class LastErrorGuiLogAppender : public LogAppender {
public:
    void append(const LogRecord&) override {
        // A failure below is reported through the dispatcher, whose tee may
        // lead back here: such a nested report shows no second box.
        if (busy) {
            return;
        }
        busy = true;
        try {
            // Nothing is logged here: a record would pass through the tee
            // and print the launch error text a second time.
            if (messageBoxShown) {
                app::showErrorMessageBox(StringBuilder(app::launchErrorText()).text());
            }
        } catch (const std::runtime_error& e) {
            logCaughtError(CURRENT_POSITION, e);
        } catch (...) {
            logUnknownError(CURRENT_POSITION);
        }
        busy = false;
    }

private:
    bool busy = false;
};

} // namespace

namespace app {

void setMessageBoxShown(bool shown) {
    messageBoxShown = shown;
}

bool showErrorMessageBox(const WideString& text) {
    if (!windowStationVisible()) {
        return false;
    }
    const WideString caption = FileUtils::fileNameOf(SysInfo::executablePath());
    MessageBoxW(nullptr, boxText(text).c_str(), caption.c_str(), MB_ICONERROR);
    return true;
}

int wlaunch(const std::nothrow_t&, LaunchFunction launchFunction) {
    std::unique_ptr<Console> console;
    try {
        if (debugSwitchOn()) {
            console = std::make_unique<Console>();
        }
    } catch (const std::runtime_error& e) {
        logCaughtError(CURRENT_POSITION, e);
    } catch (...) {
        logUnknownError(CURRENT_POSITION);
    }

    int result = 1;
    {
        LastErrorGuiLogAppender guiAppender;
        TeeLogAppender tee(&sharedLastErrorLogAppender(), &guiAppender);
        result = launch(std::nothrow, launchFunction, &tee);
    }
    console.reset();
    return result;
}

} // namespace app
