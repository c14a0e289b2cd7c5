// The programs that sign and try hand their work to: found on PATH, given only the changes
// to the environment asked for, never able to wait on the terminal, stopped when their time
// is up, and a failure to start reported as such.
#include "lmvpack_runner.h"

#include "tools/lmvpack/process/child_process.h"

#include <csignal>
#include <fcntl.h>

namespace {

using namespace lmvpack_test;
using namespace std::chrono_literals;

ChildCommand Shell(const std::string& script) {
    ChildCommand command;
    command.argv = {"sh", "-c", script};
    return command;
}

TEST(LmvpackChildProcess, CapturesOutputAndStatusWithTheEnvironmentAsked) {
    ::setenv("LMV_TEST_SECRET", "hidden", 1);
    ChildCommand command =
        Shell("echo out; echo err >&2; echo \"[$LMV_TEST_SECRET][$LMV_TEST_SET]\"; "
              "read line && echo read \"$line\"; exit 7");
    command.set_env = {{"LMV_TEST_SET", "given"}};
    command.unset_env = {"LMV_TEST_SECRET"};
    const Captured result = RunCaptured(command, 30s);
    ::unsetenv("LMV_TEST_SECRET");
    ASSERT_TRUE(result.status);
    EXPECT_EQ(*result.status, 7);
    // Standard input is empty: a program that asks gets no answer instead of waiting.
    EXPECT_EQ(result.output, "out\nerr\n[][given]\n");
}

// A file lmvpack has open (say, the installer being read) is not the child's to keep open.
TEST(LmvpackChildProcess, PassesOnlyTheDescriptorsAskedFor) {
    ScratchFolder folder;
    WriteText(folder / "open.txt", "x");
    const int stray = ::open((folder / "open.txt").c_str(), O_RDONLY);
    const int kept = ::open((folder / "open.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(stray, 3);
    ChildCommand command = Shell("for fd in " + std::to_string(stray) + " " + std::to_string(kept) +
                                 "; do [ -e /proc/$$/fd/$fd ] && echo open $fd; done; true");
    command.keep_fds = {kept};
    const Captured result = RunCaptured(command, 30s);
    ::close(stray);
    ::close(kept);
    EXPECT_EQ(result.output, "open " + std::to_string(kept) + "\n");
}

TEST(LmvpackChildProcess, StopsAChildWhoseTimeIsUpOrWhenAskedTo) {
    const auto started = std::chrono::steady_clock::now();
    const Captured late = RunCaptured(Shell("sleep 30"), 200ms);
    EXPECT_FALSE(late.status);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);

    std::atomic<bool> stop{true};
    const Captured asked = RunCaptured(Shell("sleep 30"), 60s, &stop);
    EXPECT_FALSE(asked.status);

    // A child that ignores SIGTERM is killed after the grace period. It says when it has
    // started ignoring it.
    Child stubborn(Shell("trap '' TERM; echo ready; sleep 30"), true);
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (stubborn.output().find("ready") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        stubborn.Wait(50ms);
    ASSERT_NE(stubborn.output().find("ready"), std::string::npos);
    stubborn.Stop(100ms);
    ASSERT_TRUE(stubborn.Poll());
    EXPECT_EQ(*stubborn.Poll(), 128 + SIGKILL);
}

TEST(LmvpackChildProcess, AProgramThatIsNotThereIsReportedBeforeAnythingRuns) {
    ChildCommand command;
    command.argv = {"lmvpack-no-such-program"};
    EXPECT_FALSE(FindOnPath("lmvpack-no-such-program"));
    try {
        Child child(command);
        FAIL() << "started a program that does not exist";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("not installed"), std::string::npos)
            << error.what();
    }
    ScratchFolder folder;
    WriteText(folder / "not-executable", "#!/bin/sh\n");
    command.argv = {(folder / "not-executable").string()};
    EXPECT_THROW(Child{command}, std::runtime_error);
}

// The output of a child that leaves a process behind holding its output open is read as far
// as the child wrote it, without waiting for the one left behind.
TEST(LmvpackChildProcess, DoesNotWaitForWhatAChildLeftBehind) {
    const auto started = std::chrono::steady_clock::now();
    Child child(Shell("echo before; (sleep 20 &) ; echo after"), true);
    const std::optional<int> status = child.Wait(30s);
    ::kill(-child.pid(), SIGTERM); // the sleep left behind, in the child's process group
    ASSERT_TRUE(status);
    EXPECT_EQ(child.output(), "before\nafter\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 15s);
}

} // namespace
