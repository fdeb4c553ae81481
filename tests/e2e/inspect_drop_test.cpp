// A file dropped on bloktar-inspect.exe: with a console window of its own, the inspector also
// writes the page beside the file and opens it in the browser. From a pipe nothing changes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/expected.hpp"
#include "support/process.hpp"
#include "support/terminal.hpp"

using namespace testing_support;

namespace {

bool InspectorIsWindows() {
    const std::vector<std::string> words = InspectorCommand();
    return !words.empty() && words.back().ends_with(".exe");
}

// The path Wine gives a Windows program for a POSIX path: drive Z: is the root.
std::string WinePath(const std::string& posix) {
    std::string path = "Z:" + posix;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

// Makes cmd.exe the program that opens .html files in the tests' Wine prefix, told to write the
// path it is given into a file beside the page: PAGE.opened. (The prefix is the tests' own; a
// fresh one opens .html files with nothing.)
void RegisterPageRecorder(const std::string& dir) {
    const std::string reg = dir + "/recorder.reg";
    WriteFile(reg,
              "REGEDIT4\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Classes\\.html]\r\n"
              "@=\"BloktarTest.Page\"\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Classes\\BloktarTest.Page\\shell\\open\\command]\r\n"
              "@=\"C:\\\\windows\\\\system32\\\\cmd.exe /c echo %1>\\\"%1.opened\\\"\"\r\n");
    // Every word before the program's: Wine, and whatever it is started under.
    std::vector<std::string> words = InspectorCommand();
    words.back() = "regedit";
    words.insert(words.end(), {"/S", WinePath(reg)});
    const ProgramRun run = RunCommand(words, "", dir);
    ASSERT_EQ(run.status, 0) << run.out;
}

// Waits up to 30 seconds for a file that another process writes; its bytes, or empty.
std::string AwaitFile(const std::string& path) {
    for (int i = 0; i < 300; ++i) {
        if (FileExists(path)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            return ReadFile(path);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

TEST(InspectorDrop, WritesThePageBesideTheFileAndOpensItInTheBrowser) {
    if (!InspectorIsWindows()) GTEST_SKIP() << "a console window of its own is Windows'";
    const std::string dir = MakeTempDir();
    RegisterPageRecorder(dir);
    WriteFile(dir + "/broken.mqo", ReadFile(SourcePath("examples/broken.mqo")));
    // Wine's console on a terminal is the program's own, as a window opened by a drop is.
    const ScopedEnvironment locale({{std::string("LC_ALL"), std::string("C.UTF-8")}});
    const ProgramRun run = RunInspectorOnTerminal({"broken.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 2);  // two blocks with a problem, as from a command prompt

    // The page is the one --html writes for the same file.
    const std::string pageDir = MakeTempDir();
    WriteFile(pageDir + "/broken.mqo", ReadFile(SourcePath("examples/broken.mqo")));
    ASSERT_EQ(RunInspector({"--html", "page.html", "broken.mqo"}, pageDir).status, 2);
    const std::string page = ReadFile(dir + "/broken.mqo.html");
    EXPECT_EQ(page, ReadFile(pageDir + "/page.html"));

    // The console tells where the page is and that the browser was asked to open it; the console
    // lays the lines out with its own control sequences, so each text is looked for in turn.
    const std::string pagePath = WinePath(dir) + "\\broken.mqo.html";
    std::size_t at = 0;
    for (const std::string& text :
         {std::string("HTMLファイル作成"), std::string("完了"), std::string("ページの場所"),
          pagePath, std::string("ブラウザで開く"), std::string("完了")}) {
        at = run.out.find(text, at);
        ASSERT_NE(at, std::string::npos) << text << " in " << run.out;
    }
    // The program registered for .html files got the page's full path.
    EXPECT_EQ(AwaitFile(dir + "/broken.mqo.html.opened"), pagePath + "\r\n");
}

TEST(InspectorDrop, NoPageForAFileItCannotRead) {
    if (!InspectorIsWindows()) GTEST_SKIP() << "a console window of its own is Windows'";
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/header.mqo", "Metasequoia Document\r\nFormat Text Ver 9.9\r\n");
    const ScopedEnvironment locale({{std::string("LC_ALL"), std::string("C.UTF-8")}});
    const ProgramRun run = RunInspectorOnTerminal({"header.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("HTML"), std::string::npos);
    EXPECT_EQ(ListDirectory(dir), std::vector<std::string>{"header.mqo"});
}

TEST(InspectorDrop, FromAPipeNoPageIsWritten) {
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/broken.mqo", ReadFile(SourcePath("examples/broken.mqo")));
    const ProgramRun run = RunInspector({"broken.mqo"}, dir);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out.find(Sjis("HTMLファイル作成")), std::string::npos);
    EXPECT_EQ(ListDirectory(dir), std::vector<std::string>{"broken.mqo"});
}

}  // namespace
