#include "spectral/flush_denormals.h"

#include <gtest/gtest.h>

#include <cfloat>

namespace {

#if defined(TINVOICER_HAVE_MXCSR)

// Restores the test thread's register after each case, whatever the case did to it.
class FlushDenormalsScopeTest : public ::testing::Test {
protected:
    void TearDown() override { _mm_setcsr(original); }
    const unsigned int original = _mm_getcsr();
};

float product(float a, float b) {
    volatile float x = a;
    volatile float y = b;
    return x * y;  // computed at run time, in the thread's current mode
}

TEST_F(FlushDenormalsScopeTest, FlushesDenormalResultsAndOperandsWhileAlive) {
    const unsigned int mode = original & ~FlushDenormalsScope::flushBits;
    _mm_setcsr(mode);
    const float tiny = FLT_MIN / 16.0f;  // a denormal
    ASSERT_NE(product(FLT_MIN, 0.25f), 0.0f) << "without the scope the denormal result stays";
    const unsigned int before = _mm_getcsr();  // with the status flags that product raised
    {
        const FlushDenormalsScope scope;
        EXPECT_EQ(_mm_getcsr() & FlushDenormalsScope::flushBits, FlushDenormalsScope::flushBits);
        EXPECT_EQ(product(FLT_MIN, 0.25f), 0.0f) << "denormal result flushed";
        EXPECT_EQ(product(tiny, 1.0f), 0.0f) << "denormal operand read as zero";
        EXPECT_EQ(product(FLT_MIN, 2.0f), 2.0f * FLT_MIN) << "normal results keep their bits";
    }
    EXPECT_EQ(_mm_getcsr(), before);
}

// The whole register comes back: flush bits, rounding mode, exception masks and status flags.
TEST_F(FlushDenormalsScopeTest, PutsBackTheCallersRegisterExactly) {
    const unsigned int roundTowardZero = 0x6000u;
    const unsigned int inexactFlag = 0x0020u;
    const unsigned int callerModes[] = {
        original & ~FlushDenormalsScope::flushBits,
        original | FlushDenormalsScope::flushBits,
        (original & ~FlushDenormalsScope::flushBits) | roundTowardZero | inexactFlag,
    };
    for (unsigned int mode : callerModes) {
        _mm_setcsr(mode);
        {
            const FlushDenormalsScope scope;
            volatile float sink = product(1.0f, 3.0f) / 7.0f;  // raises the inexact flag inside
            (void)sink;
        }
        EXPECT_EQ(_mm_getcsr(), mode) << std::hex << "caller's MXCSR " << mode;
    }
}

#endif

}  // namespace
