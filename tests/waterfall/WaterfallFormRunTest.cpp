// form-run end to end with a waterfall: a generator on its internal clock plays a tone through a
// spectrum analyser into a grey-scale waterfall; the brightest row of the picture is the tone's
// bin.
#include "../display/RunProgram.h"
#include "WaterfallTestSupport.h"

#include "components/ComponentClasses.h"
#include "pins/VokFormReader.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace waterfalltest;

namespace {

const std::string kExample = std::string(EXAMPLES_DIR) + "/tone-waterfall.form";

/// The example read in this process and laid out: its waterfall's data view.
TZemRect ExampleDataViewRect() {
    InitializeOnce();
    RegisterVokClasses();
    RegisterComponentClasses();
    std::ifstream file(kExample);
    std::ostringstream text;
    text << file.rdbuf();
    TVokFormReader reader(kExample);
    std::unique_ptr<TVokComponent> root = reader.Read(text.str());
    auto& waterfall = dynamic_cast<TZemWaterfall&>(*root->FindComponent("Waterfall"));
    waterfall.RenderPicture();
    waterfall.Layout();
    return waterfall.GetDataView()->GetRect();
}

} // namespace

TEST(WaterfallFormRun, TheBrightestRowOfAToneIsItsBin) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string picture = QDir(directory.path()).filePath("tone.png").toStdString();
    std::string output;
    const int status = testrun::RunProgram(
        FORM_RUN_PROGRAM, kExample + " --enable Gen --seconds 2 --snapshot Waterfall=" + picture,
        output);
    ASSERT_EQ(status, 0) << output;
    const QImage image(QString::fromStdString(picture));
    ASSERT_FALSE(image.isNull());
    const TZemRect rect = ExampleDataViewRect();
    const int width = rect.m_right - rect.m_left - 1;
    const int height = rect.m_bottom - rect.m_top - 1;
    ASSERT_GT(height, 64);
    int brightestRow = -1;
    long brightest = -1;
    for (int y = rect.m_top; y < rect.m_top + height; ++y) {
        long sum = 0;
        for (int x = rect.m_left; x < rect.m_left + width; ++x) {
            sum += qRed(image.pixel(x, y));
        }
        if (sum > brightest) {
            brightest = sum;
            brightestRow = y;
        }
    }
    // 6890.625 Hz is bin 40 of the 128 bins over 0 … 22050 Hz; bin 0 is the bottom line.
    const int bins = 128;
    const int toneBin = 40;
    const double expected = rect.m_top + (bins - 1 - toneBin + 0.5) * height / bins;
    EXPECT_NEAR(brightestRow, expected, 2.0)
        << "data view top " << rect.m_top << ", height " << height;
}
