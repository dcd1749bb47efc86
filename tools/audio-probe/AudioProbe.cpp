// audio-probe: lists the capture devices, or captures a few seconds from one of them and prints,
// per channel, the strongest frequency and the level.
//
//   audio-probe --list
//   audio-probe [--device NAME] [--seconds S] [--rate R] [--channels C]
//
// Capture runs through the capture component into the spectrum analyser (order 12, so 4096-point
// windows), exactly as the program does. Errors go to standard error with exit status 1. The
// sound libraries' own diagnostics are discarded unless AUDIO_DEBUG=1 is set.

#include "buffers/DruAudioBuffer.h"
#include "buffers/ZemVokOperations.h"
#include "buffers/ZemVokStreamPins.h"
#include "capture/DSCaptureDevice.h"
#include "capture/DruDSAudioIn.h"
#include "capture/HoxPaCaptureService.h"
#include "components/DruSpectrum.h"
#include "platform/VokMessageWindow.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

constexpr int32_t kSpectrumOrder = 12;

/// Where this program's own messages go: the original standard error, kept apart from the
/// descriptor the sound libraries write their diagnostics to.
FILE* g_errors = stderr;

/// A failure to report: the message goes to standard error and the exit status is 1. Thrown,
/// so that every component is taken down in order before the program ends.
struct TProbeFailure {
    std::string m_message;
};

[[noreturn]] void Fail(const std::string& message) {
    throw TProbeFailure{message};
}

void Usage(FILE* out) {
    std::fprintf(out, "usage: audio-probe --list\n"
                      "       audio-probe [--device NAME] [--seconds S] [--rate R] "
                      "[--channels C]\n"
                      "  --list        print the capture devices (name and moniker name; * marks "
                      "the default)\n"
                      "  --device NAME capture from the device listed as NAME (default: the "
                      "system's default)\n"
                      "  --seconds S   capture S seconds (default 3)\n"
                      "  --rate R      sample rate in Hz (default 44100)\n"
                      "  --channels C  channels (default 2)\n");
}

/// Sends the sound libraries' diagnostics (written straight to descriptor 2 by some of them)
/// to /dev/null, keeping this program's own messages on the original standard error.
void QuietLibraryDiagnostics() {
    if (HoxAudioDebugEnabled()) {
        return;
    }
    const int saved = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (saved < 0 || null < 0) {
        return;
    }
    if (FILE* errors = fdopen(saved, "w")) {
        setvbuf(errors, nullptr, _IONBF, 0);
        g_errors = errors;
        dup2(null, STDERR_FILENO);
    }
    close(null);
}

struct TOptions {
    bool m_list = false;
    std::optional<std::string> m_device;
    double m_seconds = 3.0;
    uint32_t m_rate = 44100;
    uint32_t m_channels = 2;
};

double ParseNumber(const char* option, const char* text, double low, double high) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value < low || value > high) {
        char range[64];
        std::snprintf(range, sizeof range, " expects a number from %g to %g", low, high);
        Fail(std::string(option) + range + ", not '" + text + "'");
    }
    return value;
}

TOptions ParseOptions(int argc, char** argv) {
    TOptions options;
    for (int index = 1; index < argc; ++index) {
        const std::string option = argv[index];
        const auto value = [&]() -> const char* {
            if (index + 1 >= argc) {
                Fail(option + " needs a value");
            }
            return argv[++index];
        };
        if (option == "--list") {
            options.m_list = true;
        } else if (option == "--device") {
            options.m_device = value();
        } else if (option == "--seconds") {
            options.m_seconds = ParseNumber("--seconds", value(), 0.1, 3600.0);
        } else if (option == "--rate") {
            options.m_rate = static_cast<uint32_t>(ParseNumber("--rate", value(), 1000, 384000));
        } else if (option == "--channels") {
            options.m_channels = static_cast<uint32_t>(ParseNumber("--channels", value(), 1, 32));
        } else if (option == "--help" || option == "-h") {
            Usage(stdout);
            std::exit(0);
        } else {
            Usage(g_errors);
            Fail("unknown option '" + option + "'");
        }
    }
    return options;
}

/// Receives the captured audio and the spectra; sums each channel's squares and magnitudes.
/// Its handlers run on the capture component's delivery thread.
class TProbeSink : public TVokComponent {
  public:
    explicit TProbeSink(uint32_t channels)
        : TVokComponent(nullptr), m_squares(channels, 0.0), m_magnitudes(channels) {
        m_audio = MakePin<TDruVokAudioSinkPin>(this, TZemPinHandler::Of<&TProbeSink::Audio>(this));
        TVokObject::LinkObjects(&m_lock, m_audio.get());
        for (uint32_t channel = 0; channel < channels; ++channel) {
            m_spectra.push_back(
                MakePin<TZemVokRealSinkPin>(this, TZemPinHandler::Of<&TProbeSink::Spectrum>(this)));
            TVokObject::LinkObjects(&m_lock, m_spectra.back().get());
        }
    }
    ~TProbeSink() override {
        m_spectra.clear();
        m_audio.reset();
    }

    TDruVokAudioSinkPin* GetAudioPin() const { return m_audio.get(); }
    TZemVokRealSinkPin* GetSpectrumPin(uint32_t channel) const { return m_spectra[channel].get(); }

    uint64_t GetFrames() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_frames;
    }
    uint32_t GetContainerBits() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_containerBits;
    }
    /// RMS of `channel` relative to full scale, in dB (−inf for silence).
    double GetLevel(uint32_t channel) const {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_frames == 0 || m_containerBits == 0) {
            return -INFINITY;
        }
        const double fullScale = std::ldexp(1.0, static_cast<int>(m_containerBits) - 1);
        const double rms = std::sqrt(m_squares[channel] / static_cast<double>(m_frames));
        return 20.0 * std::log10(rms / fullScale);
    }
    /// The strongest bin of the summed spectra of `channel` (0 when none arrived).
    uint32_t GetPeakBin(uint32_t channel) const {
        std::lock_guard<std::mutex> guard(m_mutex);
        const std::vector<double>& sums = m_magnitudes[channel];
        uint32_t peak = 0;
        for (uint32_t bin = 1; bin < sums.size(); ++bin) {
            if (sums[bin] > sums[peak]) {
                peak = bin;
            }
        }
        return peak;
    }

  private:
    TVokNotifyResults Audio(TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                            TVokNotifyOperation* operation) {
        auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation);
        auto* audio =
            supplied != nullptr ? dynamic_cast<TDruAudioBuffer*>(supplied->GetBuffer()) : nullptr;
        if (audio == nullptr) {
            return {};
        }
        const uint32_t frames = audio->GetSize();
        const uint32_t channels =
            std::min<uint32_t>(audio->GetChannels(), static_cast<uint32_t>(m_squares.size()));
        std::lock_guard<std::mutex> guard(m_mutex);
        m_containerBits = audio->GetContainerBits();
        for (uint32_t channel = 0; channel < channels; ++channel) {
            double sum = 0.0;
            for (uint32_t frame = 0; frame < frames; ++frame) {
                double sample = audio->GetSample(frame, channel);
                if (m_containerBits == 8) {
                    sample -= 127.0;
                } else if (m_containerBits == 24 && sample >= 8388608.0) {
                    sample -= 16777216.0;
                }
                sum += sample * sample;
            }
            m_squares[channel] += sum;
        }
        m_frames += frames;
        return {};
    }

    TVokNotifyResults Spectrum(TVokBasicPin* pin, const TVokGuid&, TVokNotifyFlags,
                               TVokNotifyOperation* operation) {
        auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation);
        auto* spectrum =
            supplied != nullptr ? dynamic_cast<TZemRealBuffer*>(supplied->GetBuffer()) : nullptr;
        if (spectrum == nullptr) {
            return {};
        }
        std::lock_guard<std::mutex> guard(m_mutex);
        for (size_t channel = 0; channel < m_spectra.size(); ++channel) {
            if (m_spectra[channel].get() != pin) {
                continue;
            }
            std::vector<double>& sums = m_magnitudes[channel];
            const uint32_t bins = spectrum->GetSize();
            sums.resize(std::max<size_t>(sums.size(), bins), 0.0);
            const double* values = spectrum->GetReadPointer();
            for (uint32_t bin = 0; bin < bins; ++bin) {
                sums[bin] += values[bin];
            }
        }
        return {};
    }

    TVokObject m_lock;
    TVokPinPtr<TDruVokAudioSinkPin> m_audio;
    std::vector<TVokPinPtr<TZemVokRealSinkPin>> m_spectra;
    /// Guards the sums below (written on the delivery thread, read on the main thread).
    mutable std::mutex m_mutex;
    uint64_t m_frames = 0;
    uint32_t m_containerBits = 0;
    std::vector<double> m_squares;
    std::vector<std::vector<double>> m_magnitudes;
};

int ListDevices() {
    THoxDSCapDeviceList list;
    list.Fill(kDSAudioInputDeviceCategory);
    if (list.GetCount() == 0) {
        Fail("no capture device found");
    }
    const std::optional<THoxCaptureDeviceDesc> defaultDevice =
        HoxGetCaptureService()->GetDefaultInputDevice();
    for (const THoxDSCapDeviceInfo& device : list.GetItems()) {
        const bool isDefault =
            defaultDevice.has_value() && defaultDevice->m_monikerName == device.m_monikerName;
        std::printf("%s %s\t%s\n", isDefault ? "*" : " ", device.m_name.c_str(),
                    device.m_monikerName.c_str());
    }
    return 0;
}

int Capture(const TOptions& options) {
    auto audioIn = std::make_unique<TDruDSAudioIn>(nullptr);
    TDruAudioFormat* format = audioIn->GetAudioFormat();
    format->SetSampleRate(options.m_rate);
    format->SetChannels(options.m_channels);
    format->SetChannelMask(DruMaskToSpeakers(
        options.m_channels >= 18 ? kDruSpeakerBits : (1u << options.m_channels) - 1));

    TDSAudioCaptureDevice* device = audioIn->GetAudioCaptureDevice();
    if (options.m_device.has_value()) {
        device->SetDeviceName(*options.m_device);
        if (device->GetDeviceName() == "None") {
            Fail("no capture device named '" + *options.m_device + "' (see audio-probe --list)");
        }
    } else if (!HoxGetCaptureService()->GetDefaultInputDevice().has_value()) {
        Fail("no capture device found: there is no default capture device (is a sound server "
             "running? see audio-probe --list)");
    }

    TDruSpectrum spectrum(nullptr);
    spectrum.SetOrder(kSpectrumOrder);
    spectrum.SetChannelCount(static_cast<int32_t>(options.m_channels));
    TProbeSink sink(options.m_channels);
    audioIn->GetOutputPin()->Connect(sink.GetAudioPin());
    audioIn->GetOutputPin()->Connect(spectrum.GetInputPin());
    for (uint32_t channel = 0; channel < options.m_channels; ++channel) {
        spectrum.GetOutputPin(static_cast<int32_t>(channel))->Connect(sink.GetSpectrumPin(channel));
    }
    bool lost = false;
    audioIn->GetGraph()->SetOnDeviceLost([&lost](TVokComponent*) { lost = true; });

    try {
        audioIn->Start();
    } catch (const std::exception& error) {
        Fail(std::string("cannot capture: ") + error.what());
    }
    if (!audioIn->GetEnabled()) {
        Fail("cannot capture: the capture did not start");
    }
    const auto duration = std::chrono::duration_cast<TClock::duration>(
        std::chrono::duration<double>(options.m_seconds));
    const TClock::time_point started = TClock::now();
    // The first block may take a moment (the sound server starts its source): the time counts
    // from the first captured frame, within a bound.
    TClock::time_point end = started + duration + std::chrono::seconds(10);
    bool counting = false;
    while (TClock::now() < end && !lost) {
        TVokHeadlessMessageLoop::WaitAndProcessMessages(std::chrono::milliseconds(20));
        if (!counting && sink.GetFrames() > 0) {
            counting = true;
            end = TClock::now() + duration;
        }
    }
    try {
        audioIn->Stop();
    } catch (const std::exception& error) {
        Fail(std::string("cannot stop the capture: ") + error.what());
    }
    if (lost) {
        Fail("the capture device was lost");
    }
    if (sink.GetFrames() == 0) {
        Fail("no audio arrived from the capture device within 10 seconds");
    }
    const double binWidth = static_cast<double>(options.m_rate) / (1u << kSpectrumOrder);
    for (uint32_t channel = 0; channel < options.m_channels; ++channel) {
        std::printf("channel %u: peak %.1f Hz, level %.1f dBFS\n", channel,
                    sink.GetPeakBin(channel) * binWidth, sink.GetLevel(channel));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QuietLibraryDiagnostics();
    std::string failure;
    try {
        const TOptions options = ParseOptions(argc, argv);
        return options.m_list ? ListDevices() : Capture(options);
    } catch (const TProbeFailure& error) {
        failure = error.m_message;
    } catch (const std::exception& error) {
        failure = error.what();
    }
    std::fprintf(g_errors, "audio-probe: %s\n", failure.c_str());
    return 1;
}
