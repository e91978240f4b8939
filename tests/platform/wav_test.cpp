#include "platform/WavLength.h"
#include "support/wav_util.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class WavLength : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const
    {
        return m_dir.path().toStdString() + "/" + name;
    }
    QTemporaryDir m_dir;
};

TEST_F(WavLength, PcmLengthRoundsToWholeSecondsWithoutBlanks)
{
    ASSERT_TRUE(WriteWav(Path("memo.wav"), 489600));  // 61.2 s at 8 kHz
    EXPECT_DOUBLE_EQ(GetWavLength(Path("memo.wav")), 61.2);
    EXPECT_EQ(FormatLengthText(GetWavLength(Path("memo.wav"))), "61");

    // "%4.0f" rounds halves to even.
    ASSERT_TRUE(WriteWav(Path("half.wav"), 20000));  // 2.5 s
    EXPECT_EQ(FormatLengthText(GetWavLength(Path("half.wav"))), "2");
    ASSERT_TRUE(WriteWav(Path("half3.wav"), 28000, 8000));  // 3.5 s
    EXPECT_EQ(FormatLengthText(GetWavLength(Path("half3.wav"))), "4");
    ASSERT_TRUE(WriteWav(Path("short.wav"), 4000));  // 0.5 s
    EXPECT_EQ(FormatLengthText(GetWavLength(Path("short.wav"))), "0");
    // Whole milliseconds, as the media control reports them: 1 frame short of 1 s at 44.1 kHz.
    ASSERT_TRUE(WriteWav(Path("cd.wav"), 44099, 44100));
    EXPECT_EQ(WavLengthMs(Path("cd.wav")).value_or(-1), 999);
    EXPECT_EQ(FormatLengthText(12345.0), "12345");
}

TEST_F(WavLength, ExtensionDecidesWithoutRegardToCase)
{
    ASSERT_TRUE(WriteWav(Path("LOUD.WAV"), 16000));
    EXPECT_DOUBLE_EQ(GetWavLength(Path("LOUD.WAV")), 2.0);
    // Audio under another extension is not measured.
    ASSERT_TRUE(WriteWav(Path("audio.rtf"), 16000));
    EXPECT_EQ(GetWavLength(Path("audio.rtf")), 0.0);
    ASSERT_TRUE(WriteWav(Path("audio.wav.bak"), 16000));
    EXPECT_EQ(GetWavLength(Path("audio.wav.bak")), 0.0);
    EXPECT_EQ(FormatLengthText(GetWavLength(Path("audio.rtf"))), "0");
}

TEST_F(WavLength, DotRulesOfThePath)
{
    // The only dot is the path's first character: no extension.
    EXPECT_EQ(GetWavLength(".wav"), 0.0);
    // The last dot belongs to a folder: the "extension" is "d/memo", not "wav".
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("a.d"));
    ASSERT_TRUE(WriteWav(Path("a.d/memo"), 16000));
    EXPECT_EQ(GetWavLength(Path("a.d/memo")), 0.0);
}

TEST_F(WavLength, UnreadableWavCountsAsZero)
{
    WriteText(Path("junk.wav"), "this is not RIFF audio at all");
    EXPECT_EQ(GetWavLength(Path("junk.wav")), 0.0);
    WriteText(Path("empty.wav"), "");
    EXPECT_EQ(GetWavLength(Path("empty.wav")), 0.0);
    EXPECT_EQ(GetWavLength(Path("missing.wav")), 0.0);
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("folder.wav"));
    EXPECT_EQ(GetWavLength(Path("folder.wav")), 0.0);
    EXPECT_FALSE(WavLengthMs(Path("junk.wav")).has_value());
}

TEST_F(WavLength, CompressedVariantsWithinOneBlock)
{
    ASSERT_TRUE(WriteWav(Path("ulaw.wav"), 24000, 8000, SF_FORMAT_WAV | SF_FORMAT_ULAW));
    EXPECT_EQ(WavLengthMs(Path("ulaw.wav")).value_or(-1), 3000);
    ASSERT_TRUE(WriteWav(Path("ima.wav"), 24000, 8000, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM));
    const std::int64_t ms = WavLengthMs(Path("ima.wav")).value_or(-1);
    EXPECT_GE(ms, 3000);
    EXPECT_LE(ms, 3100);  // rounded up to a whole block
}

}  // namespace
