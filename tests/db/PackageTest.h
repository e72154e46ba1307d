#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "FakeSystem.h"
#include "Vectors.h"
#include "crypto/clsCryptoFilterBox.h"

// Packages made and read with the provider under test. Its key container is
// made before each test (the first use says so in a box), and the messages
// of that first use are cleared.
class PackageTest : public ::testing::Test {
  protected:
    std::unique_ptr<crypto::Provider> provider = vectors::MakeProvider();
    fake::FakeSystem ui;
    crypto::clsCryptoFilterBox container{*provider, ui};

    void SetUp() override { ui.messages.clear(); }
};
