#pragma once

#include "buffers/ZemSimpleDataBuffer.h"
#include "pins/VokOperations.h"

#include <algorithm>
#include <array>
#include <cstdint>

/// One buffer of stream data. The operation holds a reference, so the buffer lives at least as
/// long as the operation; receivers that keep the buffer take their own reference.
class TVokSuppliedBufferOperation : public TVokSuppliedOperation {
  public:
    explicit TVokSuppliedBufferOperation(TRef<IZemDataBuffer> buffer)
        : m_buffer(std::move(buffer)) {}
    IZemDataBuffer* GetBuffer() const { return m_buffer.Get(); }

  private:
    const TRef<IZemDataBuffer> m_buffer;
};

/// A sampled stream starts: `rate` (of the parent) is sample rate ÷ block size when the block
/// size is above 0, otherwise the sample rate.
class TVokStartSampleRateOperation : public TVokStartRateOperation {
  public:
    TVokStartSampleRateOperation(int32_t blockSize, double sampleRate)
        : TVokStartRateOperation(blockSize > 0 ? static_cast<float>(sampleRate / blockSize)
                                               : static_cast<float>(sampleRate)),
          m_blockSize(blockSize), m_sampleRate(sampleRate) {}

    int32_t GetBlockSize() const { return m_blockSize; }
    double GetSampleRate() const { return m_sampleRate; }

  protected:
    /// For subclasses that set the three values themselves.
    TVokStartSampleRateOperation(float rate, int32_t blockSize, double sampleRate)
        : TVokStartRateOperation(rate), m_blockSize(blockSize), m_sampleRate(sampleRate) {}

  private:
    const int32_t m_blockSize;
    const double m_sampleRate;
};

/// A stream of spectra starts; the block size is the number of spectral bins.
class TVokStartSpectrumOperation : public TVokStartSampleRateOperation {
  public:
    using TVokStartSampleRateOperation::TVokStartSampleRateOperation;
};

/// The sample rate `start` announces, for axes in hertz or seconds: a sample-rate start's (so a
/// spectrum start's) 64-bit sample rate, not its block rate; another rate start's rate;
/// `fallback` for a start without a rate.
inline double ZemStartSampleRate(const TVokStartOperation& start, double fallback) {
    if (const auto* sampleRate = dynamic_cast<const TVokStartSampleRateOperation*>(&start)) {
        return sampleRate->GetSampleRate();
    }
    if (const auto* rate = dynamic_cast<const TVokStartRateOperation*>(&start)) {
        return rate->GetRate();
    }
    return fallback;
}

/// The 40-byte extensible wave format record as it travels in start operations, little-endian
/// and byte-exact (see buffers/DruAudioFormat.h for the typed view).
using TVokWaveFormatBlock = std::array<uint8_t, 40>;

/// The block used when a wave start carries no format: 2 channels of 16-bit PCM at 11024
/// samples per second (block alignment 4, 44096 bytes per second, channel mask 3).
TVokWaveFormatBlock DefaultWaveFormatBlock();

/// An audio stream starts: block size 0, sample rate = rate = `rate`, and a copy of the format.
class TVokStartWaveOperation : public TVokStartSampleRateOperation {
  public:
    /// Copies the 40-byte record at `record` (for example
    /// `TDruAudioFormatBasic::GetFormatRecord()`); null: the default block.
    TVokStartWaveOperation(const uint8_t* record, float rate)
        : TVokStartSampleRateOperation(rate, 0, rate), m_format(CopyRecord(record)) {}

    const TVokWaveFormatBlock& GetFormat() const { return m_format; }
    /// The record's first byte (decode with `DruLoadWaveFormat`).
    const uint8_t* GetFormatRecord() const { return m_format.data(); }

  private:
    static TVokWaveFormatBlock CopyRecord(const uint8_t* record) {
        if (record == nullptr) {
            return DefaultWaveFormatBlock();
        }
        TVokWaveFormatBlock block;
        std::copy(record, record + block.size(), block.begin());
        return block;
    }

    const TVokWaveFormatBlock m_format;
};

/// A generator starts pumping.
class TVokStartPumpOperation : public TVokNotifyOperation {};

/// An audio stream resumes.
class TVokZemResumeOperation : public TVokNotifyOperation {};
