// Every test starts with libcups pointed at a socket where nothing listens; the CUPS tests
// start their own server. The machine's CUPS is never asked.

#include "devices/CupsServer.h"

#include <gtest/gtest.h>

namespace {

class NoCupsEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ostrevo::test::UseNoCupsServer(); }
};

const auto *const registered = ::testing::AddGlobalTestEnvironment(new NoCupsEnvironment);

} // namespace
