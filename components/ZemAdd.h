#pragma once

#include "components/ZemMultiInput.h"
#include "pins/VokPinList.h"

#include <memory>

/// Sums any number of real streams sample by sample into one real stream of `BufferSize`
/// samples per buffer (see `TZemMultiInput` for queueing, rate alignment and the start
/// protocol). Each output buffer is new; the inputs' buffers are never written.
///
/// Threads and locks: as `TZemMultiInput`. Changing the number of inputs takes the global write
/// lock (the pin list's rule).
///
/// Published properties: `BufferSize`, `OutputPin`, `InputPins` (a pin list of 2 … 100 queued
/// real sink pins, 2 at construction).
class TZemAdd : public TZemRealMultiInput {
  public:
    explicit TZemAdd(TVokComponent* owner);
    ~TZemAdd() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    /// The inputs as published; `SetCount` creates or frees pins.
    TVokPinListOwner* GetInputPins() const { return m_inputPins.get(); }

  protected:
    /// Takes one block from every connected, started input (resampled where its rate differs),
    /// adds them in list order into a new buffer and sends it down the output pin.
    void ProcessBlock() override;

  private:
    /// Owns the input pins; destroyed first, while the output pin and the lock still exist.
    std::unique_ptr<TVokPinListOwner> m_inputPins;
    /// One block of a further input before it is added; reused, never shared.
    TRef<TZemRealBuffer> m_temporary;
};
