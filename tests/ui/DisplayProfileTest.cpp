// The display's profile read from the root window of a private X server (Xvfb), where the
// test sets the property itself.
#include "ui/DisplayProfile.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

using namespace tessaly;
using Bytes = std::vector<std::uint8_t>;

namespace {

// An Xvfb of its own on a display number it chooses, with `screens` screens, stopped with
// the object.
class PrivateXServer {
public:
    explicit PrivateXServer(int screens = 1) {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            std::vector<std::string> args{"Xvfb", "-displayfd", fd, "-nolisten", "tcp"};
            for (int screen = 0; screen < screens; ++screen)
                args.insert(args.end(), {"-screen", std::to_string(screen), "64x64x24"});
            std::vector<char*> argv;
            for (std::string& arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            execvp("Xvfb", argv.data());
            _exit(127);
        }
        close(fds[1]);
        char number[16] = {};
        std::size_t got = 0;
        while (got < sizeof number - 1 && read(fds[0], number + got, 1) == 1 && number[got] != '\n')
            ++got;
        close(fds[0]);
        if (got > 0 && number[got] == '\n')
            display_ = ":" + std::string(number, got);
    }
    ~PrivateXServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

struct Disconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

void SetProperty(xcb_connection_t* c, xcb_window_t window, const char* name, xcb_atom_t type,
                 std::uint8_t format, const Bytes& value) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, Atom(c, name), type, format,
                        static_cast<std::uint32_t>(value.size() * 8 / format), value.data());
    xcb_flush(c);
}

// What the probe program prints: the display's profile as the program reads it.
std::string ProbeOutput(const std::string& display) {
    const std::string command = "DISPLAY=" + display + " QT_QPA_PLATFORM=xcb " +
                                DISPLAY_PROFILE_PROBE_PATH + " 2>/dev/null";
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string out;
    if (!pipe)
        return out;
    char buffer[256];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe.get()))
        out.append(buffer, got);
    return out;
}

} // namespace

TEST(DisplayProfile, IsTheRootWindowsIccProfileProperty) {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Xvfb is not installed";
    const PrivateXServer server;
    ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start";
    const std::unique_ptr<xcb_connection_t, Disconnect> c(
        xcb_connect(server.Display().c_str(), nullptr));
    ASSERT_FALSE(xcb_connection_has_error(c.get()));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data->root;
    const auto set = [&](xcb_atom_t type, std::uint8_t format, const Bytes& value) {
        SetProperty(c.get(), root, "_ICC_PROFILE", type, format, value);
    };

    EXPECT_TRUE(RootWindowProfile(c.get(), root).empty()); // never set

    // Larger than one reply of the server's usual chunk, read whole.
    Bytes profile(300'000);
    for (std::size_t i = 0; i < profile.size(); ++i)
        profile[i] = static_cast<std::uint8_t>(i % 251);
    set(XCB_ATOM_CARDINAL, 8, profile);
    EXPECT_EQ(RootWindowProfile(c.get(), root), profile);
    EXPECT_THROW(RootWindowProfile(c.get(), root, 299'999), DisplayProfileTooLarge);

    set(XCB_ATOM_CARDINAL, 8, {});
    EXPECT_TRUE(RootWindowProfile(c.get(), root).empty());
    set(XCB_ATOM_STRING, 8, Bytes(200, 'x'));
    EXPECT_TRUE(RootWindowProfile(c.get(), root).empty());
    set(XCB_ATOM_CARDINAL, 32, Bytes(200, 1));
    EXPECT_TRUE(RootWindowProfile(c.get(), root).empty());
}

// On a server of several screens the profile is the one of the screen the program shows its
// windows on (":N.1" is screen 1), not the first screen's.
TEST(DisplayProfile, IsTheProgramsOwnScreens) {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Xvfb is not installed";
    const PrivateXServer server(2);
    ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start";
    const std::unique_ptr<xcb_connection_t, Disconnect> c(
        xcb_connect(server.Display().c_str(), nullptr));
    ASSERT_FALSE(xcb_connection_has_error(c.get()));
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
    ASSERT_EQ(it.rem, 2);
    const xcb_window_t first = it.data->root;
    xcb_screen_next(&it);
    const xcb_window_t second = it.data->root;
    SetProperty(c.get(), first, "_ICC_PROFILE", XCB_ATOM_CARDINAL, 8,
                Bytes{'f', 'i', 'r', 's', 't'});
    SetProperty(c.get(), second, "_ICC_PROFILE", XCB_ATOM_CARDINAL, 8,
                Bytes{'s', 'e', 'c', 'o', 'n', 'd'});

    EXPECT_EQ(ProbeOutput(server.Display() + ".1"), "second");
    EXPECT_EQ(ProbeOutput(server.Display() + ".0"), "first");
    EXPECT_EQ(ProbeOutput(server.Display()), "first");
}
