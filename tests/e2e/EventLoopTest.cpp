// The host's timer and bridge on a real event loop, in process.
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <gtest/gtest.h>

#include "host/RealTimer.h"
#include "host/StdioBridge.h"
#include "vb/VbError.h"

using namespace std::chrono_literals;

TEST(HostTimer, FiresLikeTheTimerControl) {
  asio::io_context io;
  kup::host::RealTimer t(io);
  int fires = 0;
  t.onTimer = [&] { ++fires; };

  // Disabled, or enabled with no interval: never fires.
  t.setInterval(5);
  io.run_for(30ms);
  EXPECT_EQ(fires, 0);
  t.setInterval(0);
  t.setEnabled(true);
  io.restart();
  io.run_for(30ms);
  EXPECT_EQ(fires, 0);

  // Fires every interval while enabled.
  t.setInterval(10);
  io.restart();
  io.run_for(120ms);
  EXPECT_GE(fires, 2);
  EXPECT_LE(fires, 13);

  // Disabled: no more firing. A handler that disables the timer (the
  // deferred call) fires once.
  t.setEnabled(false);
  fires = 0;
  io.restart();
  io.run_for(50ms);
  EXPECT_EQ(fires, 0);
  t.onTimer = [&] {
    ++fires;
    t.setEnabled(false);
  };
  t.setEnabled(true);
  io.restart();
  io.run_for(80ms);
  EXPECT_EQ(fires, 1);
  EXPECT_FALSE(t.enabled());

  // A longer interval set while enabled starts the count again.
  fires = 0;
  t.setInterval(200);
  t.setEnabled(true);
  io.restart();
  io.run_for(50ms);
  t.setInterval(200);
  io.restart();
  io.run_for(170ms);
  EXPECT_EQ(fires, 0);
  io.restart();
  io.run_for(100ms);
  EXPECT_EQ(fires, 1);
}

TEST(HostBridge, AnswersEachRequestAndStopsOnUnload) {
  int in[2], out[2];
  ASSERT_EQ(::pipe(in), 0);
  ASSERT_EQ(::pipe(out), 0);
  asio::io_context io;
  kup::platform::RealFlash flash(out[1]);
  kup::host::StdioBridge bridge(io, flash, in[0]);
  std::vector<std::string> seen, logged;
  bool stop = false, ended = false;
  bridge.log = [&](const std::string& l) { logged.push_back(l); };
  bridge.onRequest = [&](const std::string& r) {
    seen.push_back(r);
    if (r == "call") flash.CallFunction("<invoke name=\"X\"/>");
    if (r == "reply") {
      flash.SetReturnValue("first");
      flash.SetReturnValue("second");  // replaces the first
    }
    if (r == "ending") {
      // The program ends inside the request (its display went away): its
      // RET goes now, once.
      flash.SetReturnValue("so far");
      bridge.answerInFlight();
    }
    if (r == "throw") throw std::runtime_error("boom");
    if (r == "quit") stop = true;
  };
  bridge.stopRequested = [&] { return stop; };
  bridge.onEnd = [&] {
    ended = true;
    io.stop();
  };
  std::string input = kup::bridge::EncodeFrame("REQ", "call") + kup::bridge::EncodeFrame("REQ", "reply") +
                      kup::bridge::EncodeFrame("REQ", "ending") + kup::bridge::EncodeFrame("REQ", "throw") + kup::bridge::EncodeFrame("REQ", "quit") +
                      kup::bridge::EncodeFrame("REQ", "never");
  ASSERT_TRUE(kup::bridge::WriteAll(in[1], input));
  bridge.start();
  io.run_for(2s);
  EXPECT_TRUE(ended);
  EXPECT_EQ(seen, (std::vector<std::string>{"call", "reply", "ending", "throw", "quit"}));
  ::close(out[1]);
  std::string written;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(out[0], buf, sizeof buf)) > 0) written.append(buf, size_t(n));
  EXPECT_EQ(written, kup::bridge::EncodeFrame("CALL", "<invoke name=\"X\"/>") + kup::bridge::EncodeFrame("RET", "") +
                         kup::bridge::EncodeFrame("RET", "second") + kup::bridge::EncodeFrame("RET", "so far") +
                         kup::bridge::EncodeFrame("RET", "") +
                         kup::bridge::EncodeFrame("RET", ""));
  bool sawThrow = false;
  for (auto& l : logged) sawThrow |= l.find("boom") != std::string::npos;
  EXPECT_TRUE(sawThrow);
  ::close(in[0]);
  ::close(in[1]);
  ::close(out[0]);
}

TEST(HostBridge, CallsFailOnceTheInterfaceHasGone) {
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  std::signal(SIGPIPE, SIG_IGN);
  ::close(out[0]);
  kup::platform::RealFlash flash(out[1]);
  try {
    flash.CallFunction("<invoke name=\"X\"/>");
    ADD_FAILURE() << "a call to a closed interface succeeded";
  } catch (const kup::VbError& e) {
    EXPECT_EQ(e.number(), 5);
  }
  EXPECT_FALSE(flash.connected());
  flash.beginRequest();
  EXPECT_FALSE(flash.endRequest());
  ::close(out[1]);
}
