// Magnitude spectra for BASS_ChannelGetData's FFT requests.
#pragma once

namespace orvbass {

// The first points/2 magnitudes of a "points"-point real FFT of "frames" interleaved frames (zero
// padded, mixed to mono unless "individual"), Hann-windowed when "window"; bins interleaved by
// channel when individual. points is a power of two from 4 to 65536; false when it is not.
// Bin k is |X_k| * 2 / points: a full-scale sine centred on a bin reads 1.0 without a window and 0.5
// with the Hann window (its coherent gain).
// Threading: any thread; each size's tables are built once and shared read-only.
bool ComputeFft(const float* interleaved, int frames, int chans, int points, bool individual, bool window,
                float* out);

}  // namespace orvbass
