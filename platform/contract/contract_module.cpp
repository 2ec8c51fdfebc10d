// Loaded by the library tests through the real loader.
extern "C" __attribute__((visibility("default"))) int ContractAnswer() { return 42; }
