// Runs the tests inside a real wxWidgets GUI application (an X display is
// needed; the test command provides one with Xvfb).
#include "toolkit.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display.
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    // A toolkit assertion fails the running test.
    if (!startToolkit(argc, argv, [](const std::string& what) { ADD_FAILURE() << what; }))
        return 2;
    int result = RUN_ALL_TESTS();
    stopToolkit();
    return result;
}
