// The built program, started as a user starts it, on fixture prefixes. It
// runs on a virtual X server of the test's own, where no window manager runs:
// the test plays the window manager's part and asks windows to close.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_prefix.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using std::chrono::steady_clock;

// Long enough for a sanitizer build to start Qt; only a hang runs into it.
constexpr std::chrono::seconds kPatience(60);
constexpr std::chrono::milliseconds kPollInterval(20);

constexpr char kWorld[] = "C:\\Sony\\Community Place Browser\\world";

// The program's name, which captions its message boxes: its file name.
std::string ProgramName() { return fs::path(QUIETWALK_PROGRAM).stem().string(); }

std::optional<std::string> FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string candidate = folders.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = steady_clock::now() + kPatience;
  while (!done()) {
    if (steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

// A child process; stopped (SIGTERM) if it is still running when the object
// goes, so that Xvfb removes its lock and socket.
class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& arguments,
        const std::vector<std::string>& environment, const posix_spawn_file_actions_t* actions = nullptr) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (const std::string& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    if (posix_spawn(&m_pid, program.c_str(), actions, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
  }
  ~Child() {
    if (m_pid > 0 && !m_status) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return m_pid > 0; }
  pid_t pid() const { return m_pid; }

  // The wait status once the child has ended; nullopt while it runs.
  std::optional<int> Poll() {
    if (!m_status && m_pid > 0) {
      int status = 0;
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) m_status = status;
    }
    return m_status;
  }

 private:
  pid_t m_pid = -1;
  std::optional<int> m_status;
};

// This process's environment with `changes` ("NAME=value") in place of the
// variables of the same names, and `removed` left out.
std::vector<std::string> Environment(const std::vector<std::string>& changes,
                                     const std::vector<std::string>& removed = {}) {
  auto nameOf = [](const std::string& variable) { return variable.substr(0, variable.find('=')); };
  std::vector<std::string> result;
  for (char** variable = environ; *variable; ++variable) {
    const std::string entry = *variable;
    bool replaced = false;
    for (const std::string& change : changes) replaced = replaced || nameOf(change) == nameOf(entry);
    for (const std::string& name : removed) replaced = replaced || name == nameOf(entry);
    if (!replaced) result.push_back(entry);
  }
  result.insert(result.end(), changes.begin(), changes.end());
  return result;
}

// Xvfb on a display it picks itself, for the life of the object.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(const std::string& xvfb) {
    int fds[2];
    if (pipe(fds) != 0) return;
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    m_server.emplace(xvfb,
                     std::vector<std::string>{"-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24",
                                              "-nolisten", "tcp"},
                     Environment({}));
    close(fds[1]);
    std::string number;
    pollfd readable{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&readable, 1, static_cast<int>(kPatience.count() * 1000)) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
      number += c;
    close(fds[0]);
    if (!number.empty()) m_name = ":" + number;
  }

  // ":N", or empty when the server did not come up.
  const std::string& name() const { return m_name; }

 private:
  std::optional<Child> m_server;
  std::string m_name;
};

// The test's view of the display's windows.
class Windows {
 public:
  explicit Windows(const std::string& display) : m_connection(xcb_connect(display.c_str(), nullptr)) {}
  ~Windows() { xcb_disconnect(m_connection); }
  Windows(const Windows&) = delete;
  Windows& operator=(const Windows&) = delete;

  bool connected() const { return !xcb_connection_has_error(m_connection); }

  // A mapped top-level window with exactly this title, or 0.
  xcb_window_t FindShown(const std::string& title) {
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, root), nullptr);
    if (!tree) return 0;
    xcb_window_t found = 0;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
      if (IsViewable(children[i]) && Title(children[i]) == title) found = children[i];
    }
    free(tree);
    return found;
  }

  // Sends the window what a window manager sends when its close box is
  // clicked.
  void RequestClose(xcb_window_t window) {
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom("WM_PROTOCOLS");
    event.data.data32[0] = Atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(m_connection);
  }

 private:
  xcb_atom_t Atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    free(reply);
    return atom;
  }

  bool IsViewable(xcb_window_t window) {
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    free(attributes);
    return viewable;
  }

  std::string Title(xcb_window_t window) {
    for (xcb_atom_t property : {Atom("_NET_WM_NAME"), static_cast<xcb_atom_t>(XCB_ATOM_WM_NAME)}) {
      xcb_get_property_reply_t* reply = xcb_get_property_reply(
          m_connection, xcb_get_property(m_connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
          nullptr);
      std::string title;
      if (reply && xcb_get_property_value_length(reply) > 0)
        title.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                     static_cast<size_t>(xcb_get_property_value_length(reply)));
      free(reply);
      if (!title.empty()) return title;
    }
    return {};
  }

  xcb_connection_t* m_connection;
};

class EndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::optional<std::string> xvfb = FindOnPath("Xvfb");
    if (!xvfb) GTEST_SKIP() << "Xvfb is not installed (package xvfb)";
    m_display.emplace(*xvfb);
    ASSERT_FALSE(m_display->name().empty()) << "Xvfb did not start";
    m_windows.emplace(m_display->name());
    ASSERT_TRUE(m_windows->connected()) << "cannot connect to " << m_display->name();
    m_prefix.WriteFile("C:\\Sony\\Community Place Browser\\bin\\cpbrowse.exe", "exe");
  }

  // Starts the program as a desktop starts it: on the X server, with the
  // fixture's prefix in WINEPREFIX and no arguments.
  std::unique_ptr<Child> StartProgram() {
    return std::make_unique<Child>(QUIETWALK_PROGRAM, std::vector<std::string>{},
                                   Environment({"DISPLAY=" + m_display->name(), "QT_QPA_PLATFORM=xcb",
                                                "WINEPREFIX=" + m_prefix.root(), LeakSanitizerOptions()},
                                               {"WAYLAND_DISPLAY"}));
  }

  // In a sanitizer build, the leak checker ignores what the desktop bus
  // library, which Qt's X11 support loads, keeps until the process ends.
  std::string LeakSanitizerOptions() const {
    const std::string suppressions = m_prefix.root() + "/lsan.supp";
    std::ofstream(suppressions) << "leak:libdbus-1.so\n";
    const char* given = std::getenv("LSAN_OPTIONS");
    return std::string("LSAN_OPTIONS=") + (given && *given ? std::string(given) + ":" : "") +
           "suppressions=" + suppressions;
  }

  // Waits for a shown window titled `title` while none titled `never` shows.
  xcb_window_t WaitForWindow(const std::string& title, const std::string& never, Child& program) {
    xcb_window_t window = 0;
    bool sawNever = false;
    WaitFor([&] {
      sawNever = sawNever || m_windows->FindShown(never) != 0;
      window = m_windows->FindShown(title);
      return window != 0 || program.Poll().has_value();
    });
    EXPECT_FALSE(sawNever) << "a window titled " << never << " came up";
    return window;
  }

  // The program's exit code once it has ended of its own accord.
  std::optional<int> WaitForExit(Child& program) {
    if (!WaitFor([&] { return program.Poll().has_value(); })) return std::nullopt;
    const int status = *program.Poll();
    if (!WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
  }

  testing_support::TestPrefix m_prefix;
  std::optional<VirtualDisplay> m_display;
  std::optional<Windows> m_windows;
};

// No world file: the program's message box (captioned with its name) comes
// up, the dialog never does, and answering the box ends the program.
TEST_F(EndToEndTest, EmptyWorldFolderEndsAfterMessage104) {
  m_prefix.MakeFolder(kWorld);
  std::unique_ptr<Child> program = StartProgram();
  ASSERT_TRUE(program->started());

  const xcb_window_t box = WaitForWindow(ProgramName(), "Quietwalk", *program);
  ASSERT_NE(box, 0u) << "no message box came up";
  m_windows->RequestClose(box);

  EXPECT_EQ(WaitForExit(*program), 0);
  EXPECT_EQ(m_windows->FindShown("Quietwalk"), 0u);
}

// World files: the dialog comes up; closing it ends the program and leaves
// every file as it was.
TEST_F(EndToEndTest, ClosingTheDialogEndsTheProgramAndTouchesNoFile) {
  const std::string lobby = std::string(kWorld) + "\\lobby\\lobby.wrl";
  const std::string lobbyText = "#VRML V2.0 utf8\nPROTO Sony_WorldInfo [\n  field SFBool collisionSound TRUE\n] {}\n";
  const std::string garden = std::string(kWorld) + "\\garden.wrl";
  m_prefix.WriteFile(lobby, lobbyText);
  m_prefix.WriteFile(garden, "#VRML V2.0 utf8\n");
  std::unique_ptr<Child> program = StartProgram();
  ASSERT_TRUE(program->started());

  const xcb_window_t dialog = WaitForWindow("Quietwalk", ProgramName(), *program);
  ASSERT_NE(dialog, 0u) << "the dialog did not come up";
  m_windows->RequestClose(dialog);

  EXPECT_EQ(WaitForExit(*program), 0);
  EXPECT_EQ(m_prefix.ReadFile(lobby), lobbyText);
  EXPECT_EQ(m_prefix.ReadFile(garden), "#VRML V2.0 utf8\n");
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(m_prefix.HostPath(kWorld)))
    files += entry.is_regular_file();
  EXPECT_EQ(files, 2u);
}

}  // namespace
