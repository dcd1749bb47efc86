// form-run end to end: a description of a generator on its internal clock, a splitter and a
// scope runs for a moment and leaves a picture whose trace spans the rows that the generator's
// amplitude and the scope's Y range imply; a broken description fails with a positioned error.
#include "RunProgram.h"
#include "ScopeTestSupport.h"

#include "components/ComponentClasses.h"
#include "components/DruAudioToReal.h"
#include "components/DruSignalGen.h"
#include "display/ZemLegend.h"
#include "pins/VokFormReader.h"
#include "pins/VokFormWriter.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace scopetest;

namespace {

/// Runs form-run with `arguments`; returns its exit code and fills `output` with what it
/// prints.
int RunFormRun(const std::string& arguments, std::string& output) {
    return testrun::RunProgram(FORM_RUN_PROGRAM, arguments, output);
}

/// A generator (500 Hz, amplitude 5000, internal clock) → splitter → a bare 300 × 202 scope
/// with the fixed Y range −10000 … 10000, written as a description.
std::string SineScopeDescription() {
    InitializeOnce();
    RegisterVokClasses();
    RegisterComponentClasses();
    TVokForm root;
    root.SetName("Form1");
    auto* generator = new TDruSignalGen(&root);
    generator->SetName("Gen");
    generator->SetEnabled(false);
    generator->SetAmplitude(5000);
    generator->SetFrequency(500.0);
    generator->GetAudioFormat()->SetChannels(1);
    generator->GetAudioFormat()->SetSampleRate(44100);
    auto* splitter = new TDruAudioToReal(&root);
    splitter->SetName("Split");
    splitter->SetCountChannels(1);
    auto* scope = new TZemScope(&root);
    scope->SetName("Scope");
    scope->SetBounds(0, 0, 300, 202);
    scope->GetTitle()->SetVisible(false);
    scope->GetLegend()->SetVisible(false);
    scope->GetXAxis()->SetVisible(false);
    scope->GetYAxis()->SetVisible(false);
    scope->GetScopeDataView()->SetGridColor(0);
    scope->GetScopeDataView()->SetZeroGridColor(0);
    scope->GetYAxis()->GetAutoScaling()->SetEnabled(false);
    scope->GetYAxis()->SetMin(-10000.0);
    scope->GetYAxis()->SetMax(10000.0);
    generator->GetOutputPin()->Connect(splitter->GetInputPin());
    splitter->GetOutputPins()->GetPin(0)->Connect(scope->GetScopeChannel(0)->GetInputPin());
    return TVokFormWriter().Write(root);
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
}

} // namespace

TEST(FormRun, DrawsTheGeneratorTraceAtTheRowsItsAmplitudeImplies) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string description = directory.filePath("sine.form").toStdString();
    const std::string picture = directory.filePath("scope.png").toStdString();
    WriteFile(description, SineScopeDescription());
    std::string output;
    ASSERT_EQ(
        RunFormRun(description + " --seconds 0.5 --enable Gen --snapshot Scope=" + picture, output),
        0)
        << output;
    QImage image(QString::fromStdString(picture));
    ASSERT_EQ(image.size(), QSize(300, 202));
    // Y −10000 … 10000 over rows 1 … 201: value v on row 101 − v ÷ 100, so ±5000 → rows 51, 151.
    int top = image.height();
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (PixelAt(image, x, y) == 0xFF0000) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    EXPECT_NEAR(top, 51, 1);
    EXPECT_NEAR(bottom, 151, 1);
}

TEST(FormRun, ReportsBadDescriptionsAndArguments) {
    QTemporaryDir directory;
    const std::string description = directory.filePath("bad.form").toStdString();
    WriteFile(description, "object Form1: TVokForm\n  object Scope: TZemScope\n    Width = 'wide'\n"
                           "  end\nend\n");
    std::string output;
    EXPECT_EQ(RunFormRun(description, output), 1);
    EXPECT_NE(output.find(description + ":3:"), std::string::npos) << output;

    output.clear();
    EXPECT_EQ(RunFormRun(description + " --frobnicate", output), 2);
    EXPECT_NE(output.find("usage: form-run"), std::string::npos) << output;

    output.clear();
    WriteFile(description, SineScopeDescription());
    EXPECT_EQ(RunFormRun(description + " --snapshot Nothing=" + description + ".png", output), 1);
    EXPECT_NE(output.find("no component named 'Nothing'"), std::string::npos) << output;
}
