#include "spectral/flush_denormals.h"

#include <gtest/gtest.h>

#include <cfloat>

namespace {

#if defined(TINVOICER_HAVE_FLOAT_CONTROL)

// Restores the test thread's register after each case, whatever the case did to it.
class FlushDenormalsScopeTest : public ::testing::Test {
protected:
    void TearDown() override { writeFloatControl(original); }
    const FloatControlWord original = readFloatControl();
};

float product(float a, float b) {
    volatile float x = a;
    volatile float y = b;
    return x * y;  // computed at run time, in the thread's current mode
}

TEST_F(FlushDenormalsScopeTest, FlushesDenormalResultsAndOperandsWhileAlive) {
    const FloatControlWord mode = original & ~FlushDenormalsScope::flushBits;
    writeFloatControl(mode);
    const float tiny = FLT_MIN / 16.0f;  // a denormal
    ASSERT_NE(product(FLT_MIN, 0.25f), 0.0f) << "without the scope the denormal result stays";
    const FloatControlWord before = readFloatControl();  // with the status flags that product raised
    {
        const FlushDenormalsScope scope;
        EXPECT_EQ(readFloatControl() & FlushDenormalsScope::flushBits, FlushDenormalsScope::flushBits);
        EXPECT_EQ(product(FLT_MIN, 0.25f), 0.0f) << "denormal result flushed";
        EXPECT_EQ(product(tiny, 1.0f), 0.0f) << "denormal operand read as zero";
        EXPECT_EQ(product(FLT_MIN, 2.0f), 2.0f * FLT_MIN) << "normal results keep their bits";
    }
    EXPECT_EQ(readFloatControl(), before);
}

// The whole register comes back: flush bits, rounding mode, exception masks and (MXCSR holds
// them) status flags.
TEST_F(FlushDenormalsScopeTest, PutsBackTheCallersRegisterExactly) {
#if defined(__aarch64__)
    const FloatControlWord roundTowardZero = FloatControlWord{3} << 22;
    const FloatControlWord inexactFlag = 0;  // in FPSR, which the scope leaves alone
#else
    const FloatControlWord roundTowardZero = 0x6000u;
    const FloatControlWord inexactFlag = 0x0020u;
#endif
    const FloatControlWord callerModes[] = {
        original & ~FlushDenormalsScope::flushBits,
        original | FlushDenormalsScope::flushBits,
        (original & ~FlushDenormalsScope::flushBits) | roundTowardZero | inexactFlag,
    };
    for (FloatControlWord mode : callerModes) {
        writeFloatControl(mode);
        {
            const FlushDenormalsScope scope;
            volatile float sink = product(1.0f, 3.0f) / 7.0f;  // raises the inexact flag inside
            (void)sink;
        }
        EXPECT_EQ(readFloatControl(), mode) << std::hex << "caller's float mode " << mode;
    }
}

#endif

}  // namespace
