// asio must build its handler allocator the same way in every file of the
// host, whatever a file includes first: memory a handler takes in one file
// is given back in another. This file reads asio before any standard header,
// as host/RealTimer.h does.
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#if defined(ASIO_HAS_STD_ALIGNED_ALLOC)
constexpr bool kAsioPremier = true;
#else
constexpr bool kAsioPremier = false;
#endif

#include <cstdlib>

#include <gtest/gtest.h>

// What asio decides in a file that read a standard header first.
#if defined(_GLIBCXX_HAVE_ALIGNED_ALLOC) && !defined(ASIO_DISABLE_STD_ALIGNED_ALLOC)
constexpr bool kStandardPremier = true;
#else
constexpr bool kStandardPremier = false;
#endif

TEST(RobustesseAsio, AllocateurIdentiqueQuelQueSoitLOrdreDesInclusions) {
  EXPECT_EQ(kAsioPremier, kStandardPremier);
  // And the allocator still serves handlers.
  asio::io_context io;
  int n = 0;
  for (int i = 0; i < 100; ++i) asio::post(io, [&n] { ++n; });
  io.run();
  EXPECT_EQ(n, 100);
}
