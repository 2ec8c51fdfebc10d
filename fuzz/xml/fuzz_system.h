// The fuzz targets run against fake ports: no registry file, trace library or
// converter of the machine takes part, so every input behaves the same
// everywhere.
#pragma once

#include "platform/testing/fake_system.h"

inline void useFakeSystem() {
  static platform::testing::FakeSystem fake;
  static platform::ScopedSystem scope(fake);
  fake.codePages.ansi = 1252;
}
