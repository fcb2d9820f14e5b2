// The exit code through which quell_msdos_probe.exe reports what the library
// answered in a process of its own (Wine can act as another Windows for it).
#pragma once

#include <cstdint>

struct ProbeReport {
    uint32_t platform;    // dwPlatformId as the process sees it
    uint32_t check;       // CheckMsDosModus's result
    uint32_t error;       // the last-error value after it, low 16 bits
    bool fakeCalled;      // a call went to a fake instead of Wine
    bool loaded = true;   // the library could be loaded and bound
};

inline uint32_t EncodeProbeReport(const ProbeReport &r) {
    if (!r.loaded) return 0x40000000;
    uint32_t check = r.check == 0 ? 0 : r.check == 0xFFFFFFFF ? 1 : 2;
    return (r.platform & 0xF) << 24 | (r.fakeCalled ? 1u : 0u) << 28 | check << 16 | (r.error & 0xFFFF);
}

inline ProbeReport DecodeProbeReport(uint32_t code) {
    ProbeReport r{};
    r.loaded = code != 0x40000000;
    r.platform = code >> 24 & 0xF;
    r.fakeCalled = code >> 28 & 1;
    uint32_t check = code >> 16 & 3;
    r.check = check == 0 ? 0 : check == 1 ? 0xFFFFFFFF : 2;
    r.error = code & 0xFFFF;
    return r;
}
