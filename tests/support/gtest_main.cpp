// main() of every GoogleTest binary that touches the network: the private
// network comes first, before GoogleTest or anything else can start a thread.
#include <gtest/gtest.h>

#include "private_network.h"

int main(int argc, char** argv) {
  nimbrel::test::EnterPrivateNetwork();
  ::testing::InitGoogleTest(&argc, argv);
  nimbrel::test::RequirePrivateNetwork();
  return RUN_ALL_TESTS();
}
