#include "harness/natives_test.h"

namespace natives_test {

void NativesTest::SetUp() {
    violationsBefore_ = violations().size();
    ASSERT_EQ(env()->PushLocalFrame(512), JNI_OK);
}

void NativesTest::TearDown() {
    EXPECT_EQ(takePendingException(), "") << "an exception was left pending";
    env()->PopLocalFrame(nullptr);
    const std::vector<std::string> seen = violations();
    for (std::size_t i = violationsBefore_; i < seen.size(); ++i) ADD_FAILURE() << "JNI violation: " << seen[i];
}

}  // namespace natives_test
