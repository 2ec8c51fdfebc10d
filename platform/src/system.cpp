#include "platform/system.h"

namespace platform {
namespace {
System* g_override = nullptr;
}

System& system() { return g_override != nullptr ? *g_override : nativeSystem(); }

ScopedSystem::ScopedSystem(System& replacement) : previous_(g_override) {
  g_override = &replacement;
}

ScopedSystem::~ScopedSystem() { g_override = previous_; }

}  // namespace platform
