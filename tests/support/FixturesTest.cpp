// The servers the end-to-end tests stand on start, answer and stop again.
#include <gtest/gtest.h>
#include <jack/jack.h>

#include "tests/support/JackServer.h"
#include "tests/support/XServer.h"

namespace {

using testing_support::JackServer;
using testing_support::XServer;

TEST(Fixtures, JackServerStartsAnswersAndStops) {
  if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed";
  JackServer server;
  ASSERT_TRUE(server.ready());
  jack_client_t* client = jack_client_open("fixture-test", JackNoStartServer, nullptr);
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(jack_get_sample_rate(client), 48000u);
  EXPECT_EQ(jack_get_buffer_size(client), 64u);
  jack_client_close(client);
  server.stop();
  EXPECT_EQ(jack_client_open("fixture-test", JackNoStartServer, nullptr), nullptr);
}

TEST(Fixtures, XServerStartsOnAFreeDisplay) {
  if (!XServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
  XServer first;
  XServer second;
  ASSERT_TRUE(first.ready());
  ASSERT_TRUE(second.ready());
  EXPECT_NE(first.display(), second.display());
}

}  // namespace
