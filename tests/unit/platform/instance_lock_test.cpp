#include "platform/instance_lock.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string LockName(const std::string& name, bool global = true, size_t size = 300) {
    char out[300] = "stale";
    return BuildInstanceLockName(name.c_str(), global, out, size) ? out
                                                                  : "refused: " + std::string(out);
}

// The installer knows the name from its package (blanks and all), the uninstaller from its
// folder: both must come to the same lock, as they come to the same files.
TEST(InstanceLockName, OneLockPerScreenSaverWhoeverNamesIt) {
    EXPECT_EQ(LockName("Aurora"), "Global\\Lumenvault screen saver AURORA");
    EXPECT_EQ(LockName("Aurora  "), LockName("aurora"));
    EXPECT_EQ(LockName("Aurora 2.0"), "Global\\Lumenvault screen saver AURORA 2.0");
    EXPECT_NE(LockName("Aurora"), LockName("Aurora 2"));
    // A mutex name holds no backslash past its namespace.
    EXPECT_EQ(LockName("a\\b"), "Global\\Lumenvault screen saver A/B");
    EXPECT_EQ(LockName("Aurora", false), "Lumenvault screen saver AURORA");
    // Letters beyond ASCII keep their case: the code page's own rules are not known here.
    EXPECT_EQ(LockName("\xe9t\xe9"), "Global\\Lumenvault screen saver \xe9T\xe9");
}

TEST(InstanceLockName, ANameThatDoesNotFitIsRefusedWhole) {
    const std::string stem = "Global\\Lumenvault screen saver ";
    EXPECT_EQ(LockName("ABC", true, stem.size() + 4), stem + "ABC");
    EXPECT_EQ(LockName("ABCD", true, stem.size() + 4), "refused: ");
    EXPECT_EQ(LockName(std::string(259, 'N')).size(), stem.size() + 259);
}

} // namespace
