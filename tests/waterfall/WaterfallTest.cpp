// The waterfall's store and image: running extremes against a brute-force scan, the held spectra,
// the placement of every spectrum in all four orientations while the picture scrolls, starts
// while running and while held, and the mends for shorter spectra, a lowered history length and
// the snapshot with held spectra.
#include "WaterfallTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>

using namespace waterfalltest;

namespace {

/// The extremes of the stored spectra (0 for an empty one) found by scanning them all.
void BruteForceExtremes(const TZemWaterfallBuffers& buffers, double& minimum, double& maximum) {
    const TZemSpectrumRing& history = buffers.GetHistory();
    for (int index = 0; index < history.Count(); ++index) {
        const std::vector<double>& spectrum = history.At(index);
        const double low =
            spectrum.empty() ? 0.0 : *std::min_element(spectrum.begin(), spectrum.end());
        const double high =
            spectrum.empty() ? 0.0 : *std::max_element(spectrum.begin(), spectrum.end());
        minimum = index == 0 ? low : std::min(minimum, low);
        maximum = index == 0 ? high : std::max(maximum, high);
    }
}

} // namespace

TEST(WaterfallStore, RunningExtremesMatchABruteForceScanAfterEveryAddition) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> value(-20, 20);
    std::uniform_int_distribution<int> length(0, 5);
    TZemWaterfallBuffers buffers(13);
    for (int step = 0; step < 2000; ++step) {
        std::vector<double> spectrum(static_cast<size_t>(length(random)));
        for (double& v : spectrum) {
            v = value(random); // few distinct values: extremes leave the window often
        }
        buffers.Store(spectrum.data(), static_cast<uint32_t>(spectrum.size()));
        if (step % 97 == 96) {
            buffers.SetCapacity(step % 2 == 0 ? 5 : 13); // cutting rescans too
        }
        double minimum = 0.0;
        double maximum = 0.0;
        BruteForceExtremes(buffers, minimum, maximum);
        ASSERT_LE(buffers.GetCount(), buffers.GetCapacity());
        ASSERT_EQ(buffers.GetRunningMin(), minimum) << "after addition " << step;
        ASSERT_EQ(buffers.GetRunningMax(), maximum) << "after addition " << step;
    }
}

TEST(WaterfallStore, HeldSpectraKeepTheNewestAndReleaseInOrder) {
    TZemWaterfallBuffers buffers(4);
    const double old[] = {100.0};
    buffers.Store(old, 1);
    for (double v = 1.0; v <= 6.0; v += 1.0) {
        buffers.Hold(&v, 1);
    }
    ASSERT_EQ(buffers.GetPending().Count(), 4);
    buffers.Clear(true); // a start while held: the history stays until the release
    EXPECT_EQ(buffers.GetCount(), 1);
    for (double v = 7.0; v <= 12.0; v += 1.0) {
        buffers.Hold(&v, 1);
    }
    buffers.ReleaseHeld();
    ASSERT_EQ(buffers.GetCount(), 4);
    for (int index = 0; index < 4; ++index) {
        EXPECT_EQ(buffers.GetHistory().At(index)[0], 9.0 + index);
    }
    EXPECT_EQ(buffers.GetRunningMin(), 9.0);
    EXPECT_EQ(buffers.GetRunningMax(), 12.0);
    EXPECT_EQ(buffers.GetPending().Count(), 0);
}

TEST(WaterfallStore, BinCountFollowsTheOldestSpectrum) {
    TZemWaterfallBuffers buffers(2);
    EXPECT_EQ(buffers.GetBinCount(), 500);
    buffers.Store(nullptr, 0);
    EXPECT_EQ(buffers.GetBinCount(), 512);
    const std::vector<double> eight(8, 1.0);
    const std::vector<double> three(3, 1.0);
    buffers.Store(eight.data(), 8);
    buffers.Store(three.data(), 3);
    EXPECT_EQ(buffers.GetBinCount(), 8);
}

// --- The image ---------------------------------------------------------------------------------

namespace {

struct TOrientation {
    bool m_vertical;
    bool m_reversed;
};

constexpr int kSamples = 16;
constexpr int kBins = 8;

/// The grey of bin `bin` of spectrum number `number`.
int ValueOf(int number, int bin) {
    return (number * 29 + bin * 7 + 5) % 251;
}

/// The picture the waterfall must show for `numbers` (the stored spectra, oldest first).
void ExpectPicture(const QImage& image, const std::deque<int>& numbers, TOrientation orientation,
                   uint32_t background) {
    const int count = static_cast<int>(numbers.size());
    for (int slot = 0; slot < kSamples; ++slot) {
        // Slot: position along the history, from the oldest end of the picture.
        const int along = orientation.m_reversed ? kSamples - 1 - slot : slot;
        for (int bin = 0; bin < kBins; ++bin) {
            const int x = orientation.m_vertical ? bin : along;
            const int y = orientation.m_vertical ? along : kBins - 1 - bin;
            const uint32_t expected =
                slot < count ? Grey(ValueOf(numbers[static_cast<size_t>(slot)], bin)) : background;
            ASSERT_EQ(PixelAt(image, x, y), expected)
                << "spectrum slot " << slot << ", bin " << bin << " at (" << x << ", " << y
                << ") with " << count << " stored";
        }
    }
}

class WaterfallPlacement : public testing::TestWithParam<TOrientation> {};

} // namespace

TEST_P(WaterfallPlacement, EverySpectrumLandsInItsColumnWhileThePictureScrolls) {
    const TOrientation orientation = GetParam();
    const uint32_t background = 0xFF0000; // the display colour clRed, as 0x00RRGGBB
    TWaterfallRig rig;
    rig.MakeOneToOne(kSamples, kBins, 0x0000FF);
    rig.Waterfall().SetVertical(orientation.m_vertical);
    rig.Waterfall().GetXAxis()->SetReversed(orientation.m_reversed);
    if (orientation.m_vertical) {
        rig.Waterfall().SetBounds(0, 0, kBins + 1, kSamples + 1);
    }
    std::deque<int> stored;
    int number = 0;
    // Bursts of 1, 2, 3 … spectra between paints: partial fills, then one scroll per burst,
    // and a burst longer than the history (a full re-colouring).
    for (int burst : {1, 1, 3, 5, 1, 2, 7, 1, 20, 2, 1}) {
        for (int index = 0; index < burst; ++index, ++number) {
            rig.Send(Spectrum(kBins, [&](int bin) { return ValueOf(number, bin); }));
            stored.push_back(number);
            if (stored.size() > static_cast<size_t>(kSamples)) {
                stored.pop_front();
            }
        }
        ExpectPicture(rig.Paint(), stored, orientation, background);
    }
}

INSTANTIATE_TEST_SUITE_P(Orientations, WaterfallPlacement,
                         testing::Values(TOrientation{false, false}, TOrientation{false, true},
                                         TOrientation{true, false}, TOrientation{true, true}),
                         [](const testing::TestParamInfo<TOrientation>& info) {
                             return std::string(info.param.m_vertical ? "Vertical" : "Horizontal") +
                                    (info.param.m_reversed ? "Reversed" : "");
                         });

namespace {

/// A 1:1 waterfall fed with spectra numbered from 0, painting after each.
class WaterfallImage : public testing::Test {
  protected:
    WaterfallImage() { m_rig.MakeOneToOne(kSamples, kBins, 0x0000FF); }
    void SendNumbers(int first, int last) {
        for (int number = first; number < last; ++number) {
            m_rig.Send(Spectrum(kBins, [&](int bin) { return ValueOf(number, bin); }));
        }
    }
    static std::deque<int> Numbers(int first, int last) {
        std::deque<int> numbers;
        for (int number = first; number < last; ++number) {
            numbers.push_back(number);
        }
        return numbers;
    }
    void Expect(const std::deque<int>& numbers) {
        ExpectPicture(m_rig.Paint(), numbers, TOrientation{false, false}, 0xFF0000);
    }

    TWaterfallRig m_rig;
};

} // namespace

TEST_F(WaterfallImage, AStartWhileRunningEmptiesThePictureAtOnce) {
    SendNumbers(0, 5);
    Expect(Numbers(0, 5));
    m_rig.StartSpectrum(44100.0);
    Expect({});
    SendNumbers(5, 7);
    Expect(Numbers(5, 7));
}

TEST_F(WaterfallImage, AStartWhileHeldKeepsTheHistoryUntilTheRelease) {
    SendNumbers(0, 5);
    Expect(Numbers(0, 5));
    m_rig.Waterfall().SetHold(true);
    SendNumbers(5, 8);
    m_rig.StartSpectrum(44100.0);
    SendNumbers(8, 8 + kSamples + 3); // more than the history holds: the newest stay
    Expect(Numbers(0, 5));
    m_rig.Waterfall().SetHold(false);
    Expect(Numbers(11, 8 + kSamples + 3));
}

TEST_F(WaterfallImage, HeldSpectraFollowTheStoredOnesAfterTheRelease) {
    SendNumbers(0, 10);
    Expect(Numbers(0, 10));
    m_rig.Waterfall().SetHold(true);
    SendNumbers(10, 13);
    Expect(Numbers(0, 10));
    m_rig.Waterfall().SetHold(false);
    SendNumbers(13, 20);
    Expect(Numbers(4, 20));
}

TEST_F(WaterfallImage, AShorterNewerSpectrumShowsTheLevelMinimumBeyondItsEnd) {
    SendNumbers(0, 2);
    const std::vector<double> shorter = {200.0, 201.0, 202.0};
    m_rig.Send(shorter);
    const QImage image = m_rig.Paint();
    for (int bin = 0; bin < kBins; ++bin) {
        const uint32_t expected = bin < 3 ? Grey(200 + bin) : Grey(0);
        EXPECT_EQ(PixelAt(image, 2, kBins - 1 - bin), expected) << "bin " << bin;
    }
    // The pointer over a bin the spectrum does not hold finds no data there.
    bool overData = true;
    TZemWaterfallDataView* view = m_rig.Waterfall().GetWaterfallDataView();
    EXPECT_EQ(view->UpdateValueUnderMouse(2, 0, overData), 0.0);
    EXPECT_FALSE(overData);
    EXPECT_EQ(view->UpdateValueUnderMouse(2, kBins - 1, overData), 200.0);
    EXPECT_TRUE(overData);
}

TEST_F(WaterfallImage, LoweringTheHistoryLengthKeepsTheNewestSpectraInsideTheImage) {
    SendNumbers(0, kSamples + 4);
    Expect(Numbers(4, kSamples + 4));
    m_rig.Waterfall().GetXAxis()->SetSamples(kSamples / 2);
    m_rig.Waterfall().SetBounds(0, 0, kSamples / 2 + 1, kBins + 1);
    EXPECT_EQ(m_rig.Waterfall().GetRowCount(), kSamples / 2);
    const QImage image = m_rig.Paint();
    for (int slot = 0; slot < kSamples / 2; ++slot) {
        EXPECT_EQ(PixelAt(image, slot, kBins - 1), Grey(ValueOf(kSamples / 2 + 4 + slot, 0)));
    }
}

TEST_F(WaterfallImage, ZoomedIntoTheEmptyEndAfterAClearShowsNoOldSpectra) {
    SendNumbers(0, kSamples + 4);
    Expect(Numbers(4, kSamples + 4));
    m_rig.StartSpectrum(44100.0);
    SendNumbers(100, 105);
    Expect(Numbers(100, 105));
    m_rig.Waterfall().GetZooming()->m_holdOnZoom = false;
    // History ticks are indices here: show the second half, where no spectrum is stored yet.
    m_rig.Waterfall().ZoomTo({0.0, double(kBins)}, {kSamples / 2.0, double(kSamples)});
    ASSERT_EQ(m_rig.Waterfall().GetXAxis()->GetFirstVisibleSample(), kSamples / 2);
    const QImage image = m_rig.Paint();
    for (int x = 0; x < kSamples; ++x) {
        for (int y = 0; y < kBins; ++y) {
            ASSERT_EQ(PixelAt(image, x, y), 0xFF0000U) << "at (" << x << ", " << y << ")";
        }
    }
}

TEST_F(WaterfallImage, TheSnapshotWithHeldSpectraKeepsTheNewestOfBoth) {
    SendNumbers(0, kSamples);
    m_rig.Waterfall().SetHold(true);
    SendNumbers(kSamples, kSamples + 3);
    const auto history = m_rig.Waterfall().GetData().GetHistory();
    const auto withHeld = m_rig.Waterfall().GetData().GetHistoryWithPending();
    ASSERT_EQ(history.size(), size_t(kSamples));
    ASSERT_EQ(withHeld.size(), size_t(kSamples));
    for (int index = 0; index < kSamples; ++index) {
        EXPECT_EQ(withHeld[size_t(index)]->GetValue(0), ValueOf(index + 3, 0)) << index;
    }
}

TEST_F(WaterfallImage, ReadOutCodes) {
    TZemWaterfall& waterfall = m_rig.Waterfall();
    const std::string x = waterfall.GetXAxis()->FormatLabel(3.0);
    const std::string y = waterfall.GetYAxis()->FormatLabel(2.5);
    const std::string z = waterfall.GetLevels()->FormatLevel(7.0);
    const std::string standard = x + " : " + y + " : " + z;
    EXPECT_EQ(waterfall.FormatReadout("", 3.0, 2.5, 7.0), standard);
    EXPECT_EQ(waterfall.FormatReadout("%D!", 3.0, 2.5, 7.0), standard + "!");
    EXPECT_EQ(waterfall.FormatReadout("100%% %z%q%", 3.0, 2.5, 7.0), "100% " + z);
    EXPECT_EQ(waterfall.FormatReadout("%Y", 3.0, 2.5, 7.0), y);
}
