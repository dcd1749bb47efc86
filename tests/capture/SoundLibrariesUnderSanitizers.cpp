// How the test program meets the sound libraries (PortAudio, ALSA and its plugins, the sound
// server's client library) under the sanitizers. Those libraries are not instrumented.

#if defined(__SANITIZE_ADDRESS__)
// ALSA loads and unloads its plugins (and through them sound-server and codec libraries) on every
// device probe. Memory those libraries keep in their globals becomes unreachable once they are
// unloaded, and the leak checker reports it against an unknown module. The test program keeps
// every library it loaded resident instead, so the leaks it reports are its own.
extern "C" int dlclose(void*) {
    return 0;
}
#endif

#if defined(__SANITIZE_THREAD__)
// The sound server's client library and ALSA synchronise their own threads with primitives the
// race detector cannot see in uninstrumented code (atomics, futex-based semaphores), while it
// does see their allocations and mutex calls through its interceptors; it then reports races
// and lock orders on memory only they touch. A report is dropped when one of its stacks passes
// through them. PortAudio is not in the list: the capture callback runs on PortAudio's thread,
// called from PortAudio, and its accesses must stay checked.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulse.so\n"
           "race:libpulsecommon\n"
           "race:libasound.so\n"
           "race:libasound_module_\n"
           "race:libjack.so\n"
           "deadlock:libpulse.so\n"
           "deadlock:libpulsecommon\n"
           "deadlock:libasound.so\n"
           "deadlock:libasound_module_\n";
}
#endif
