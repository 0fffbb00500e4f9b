// The animation arithmetic on its own: pacing, sway targets, the blink ramp, the mouth choice
// and the slider's thresholds.

#include "AnimationStep.h"
#include "sys/Random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(FramePacing, RunsOnlyWhenMoreThan40MsHavePassedModulo2To32) {
    struct Case {
        uint32_t last;
        uint32_t now;
        bool due;
    };
    const Case cases[] = {
        {1000, 1040, false},      // 40 ms: nothing
        {1000, 1041, true},       // 41 ms: a frame
        {1000, 1000, false},      // the same instant
        {4294967290u, 30, false}, // 36 ms across the wrap
        {4294967290u, 35, true},  // 41 ms across the wrap
        {4294967295u, 40, true},  // 41 ms, the last value before the wrap
    };
    for (const Case& c : cases) {
        EXPECT_EQ(anim::FrameDue(c.now, c.last), c.due) << c.last << " -> " << c.now;
    }
}

TEST(Sway, ReferenceSequenceGivesTheFirstThreeSegmentTargets) {
    sys::resetRandomForTest();
    const float expected[3][2] = {{-0.09f, 0.17f}, {-0.16f, -0.50f}, {0.19f, -0.26f}};
    for (const auto& segment : expected) {
        EXPECT_FLOAT_EQ(anim::SwayTarget(sys::rand()), segment[0]);
        EXPECT_FLOAT_EQ(anim::SwayTarget(sys::rand()), segment[1]);
    }
    // The first segment starts from rest: a twentieth of the way per frame.
    EXPECT_FLOAT_EQ(anim::SwayStep(-0.09f, 0.0f), -0.0045f);
    EXPECT_FLOAT_EQ(anim::SwayStep(0.17f, 0.0f), 0.0085f);
    sys::resetRandomForTest();
}

TEST(Sway, TargetsSpanMinusHalfToJustBelowHalf) {
    EXPECT_FLOAT_EQ(anim::SwayTarget(0), -0.5f);
    EXPECT_FLOAT_EQ(anim::SwayTarget(99), 0.49f);
    EXPECT_FLOAT_EQ(anim::SwayTarget(32767), 0.17f); // 32767 mod 100 = 67
}

TEST(Sway, TwentyStepsReachTheTarget) {
    float fAngle = 0.3f;
    const float fStep = anim::SwayStep(-0.26f, fAngle);
    for (int i = 0; i < anim::kSwaySegmentFrames; ++i) {
        fAngle += fStep;
    }
    EXPECT_NEAR(fAngle, -0.26f, 1e-6);
}

TEST(Blink, ElevenFramesApplyTheRampThenTheStateIsBackAtRest) {
    const float applied[11] = {0, 0.5f, 1, 1, 1, 1, 0.9f, 0.7f, 0.5f, 0.3f, 0.1f};
    anim::BlinkState state;
    for (int frame = 0; frame < 11; ++frame) {
        EXPECT_NEAR(anim::LimitWeight(state.fWeight), applied[frame], 1e-6)
            << "frame " << frame + 1;
        const bool ended = anim::AdvanceBlink(state);
        EXPECT_EQ(ended, frame == 10) << "frame " << frame + 1;
    }
    EXPECT_EQ(state.fWeight, 0.0f);
    EXPECT_EQ(state.fStep, 0.5f);
}

TEST(Blink, ExactlyOneWeightDoesNotTurnTheRamp) {
    anim::BlinkState state{0.5f, 0.5f};
    anim::AdvanceBlink(state); // 1.0: still climbing
    EXPECT_EQ(state.fStep, 0.5f);
    anim::AdvanceBlink(state); // 1.5: turns
    EXPECT_FLOAT_EQ(state.fStep, -0.2f);
}

TEST(Blink, DueOnlyMoreThan10000MsAfterTheLastEnd) {
    EXPECT_FALSE(anim::BlinkDue(15000, 5000));
    EXPECT_TRUE(anim::BlinkDue(15001, 5000));
    EXPECT_TRUE(anim::BlinkDue(10000, 4294967000u)); // across the wrap: 10296 ms
}

TEST(Mouth, LevelChoosesTargetAndWeightAtTheStartingThresholds) {
    struct Case {
        int32_t level;
        int target;
        float applied; // after the limit of 1
    };
    const Case cases[] = {
        {22001, 1, 1.0f},    {22000, 2, 1.0f},     {12000, 2, 0.6f},
        {2001, 2, 0.10005f}, {2000, 1, 0.0f},      {0, 1, 0.0f},
        {-1, 1, 0.0f},       {INT32_MIN, 1, 0.0f}, {INT32_MAX, 1, 1.0f},
    };
    for (const Case& c : cases) {
        const anim::MouthBlend mouth = anim::ChooseMouth(c.level, 22000.0f, 2000.0f);
        EXPECT_EQ(mouth.nTarget, c.target) << c.level;
        EXPECT_FLOAT_EQ(anim::LimitWeight(mouth.fWeight), c.applied) << c.level;
    }
    // Before the limit, 22000 weighs 1.1: the level itself over the band's width.
    EXPECT_FLOAT_EQ(anim::ChooseMouth(22000, 22000.0f, 2000.0f).fWeight, 1.1f);
}

TEST(Mouth, LevelIsComparedExactlyNotRoundedToFloat) {
    // 16777217 rounds to 16777216 in single precision and would not pass the threshold.
    EXPECT_EQ(anim::ChooseMouth(16777217, 16777216.0f, 2000.0f).nTarget, 1);
    EXPECT_GT(anim::ChooseMouth(16777217, 16777216.0f, 2000.0f).fWeight, 0.0f);
}

TEST(Thresholds, SliderPositionSetsLoudAndQuiet) {
    struct Case {
        int32_t pos;
        float loud;
        float quiet;
    };
    const Case cases[] = {
        {22000, 22000.0f, 2000.0f}, {32767, 32767.0f, 2978.8184f}, {1, 1.0f, 0.09090909f}};
    for (const Case& c : cases) {
        const anim::LoudnessThresholds t = anim::ThresholdsForPosition(c.pos);
        EXPECT_EQ(t.fLoud, c.loud) << c.pos;
        EXPECT_FLOAT_EQ(t.fQuiet, c.quiet) << c.pos;
    }
    EXPECT_EQ(anim::ThresholdsForPosition(22000).fQuiet, 2000.0f); // exactly, not nearly
}

} // namespace
