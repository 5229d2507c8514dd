// The fixture of every natives test: each test runs in a local frame of its own on the one
// machine of the program (java_machine.h), and ends with no exception pending and no JNI misuse
// recorded by the stand-in, whatever the natives did.
//
//   class RegistryNatives : public natives_test::NativesTest {};
//   TEST_F(RegistryNatives, ...) {
//       const jobject value = callObject("Registry.getValue0", {2, javaString(L"Software\\x"), nullptr, 0});
//       EXPECT_EQ(intOf(value), 7);
//   }
#pragma once

#include <gtest/gtest.h>

#include <jni.h>

#include <cstddef>

#include "harness/java_machine.h"
#include "harness/java_values.h"
#include "harness/native_call.h"

namespace natives_test {

class NativesTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    JNIEnv* env() const { return natives_test::env(); }

private:
    std::size_t violationsBefore_ = 0;
};

}  // namespace natives_test
