// Every test program starts with libcups pointed at a socket where nothing listens, so the
// built-in printer is the only and the default printer; the CUPS tests start their own
// server. The machine's CUPS is never asked, neither by the tests nor by the programs they
// start, which inherit CUPS_SERVER.

#include "support/CupsServer.h"

#include <gtest/gtest.h>

namespace {

class NoCupsEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ostrevo::test::UseNoCupsServer(); }
};

const auto *const registered = ::testing::AddGlobalTestEnvironment(new NoCupsEnvironment);

} // namespace
