// Needs a function that no library provides, so binding it at load fails.
extern "C" int ContractNowhere();
extern "C" __attribute__((visibility("default"))) int ContractCaller() { return ContractNowhere(); }
