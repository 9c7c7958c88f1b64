#include "tarnwick_dat/utils/portal_dat_path.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <optional>
#include <string>

#include "tarnwick_dat/test_support/temp_dir.hpp"

namespace tarnwick_dat {
namespace {

class PortalDatPath : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* value = std::getenv(variable)) {
            saved_ = value;
        }
        ::unsetenv(variable);
        std::ofstream{existing_default_} << "x";
        std::ofstream{archive_} << "x";
    }
    void TearDown() override {
        if (saved_) {
            ::setenv(variable, saved_->c_str(), 1);
        } else {
            ::unsetenv(variable);
        }
    }
    static void set(const std::string& value) { ::setenv(variable, value.c_str(), 1); }

    static constexpr const char* variable = "TARNWICK_PORTAL_DAT";
    std::optional<std::string> saved_;
    test_support::TempDir dir_;
    std::filesystem::path existing_default_ = dir_ / "default.dat";
    std::filesystem::path missing_default_ = dir_ / "missing.dat";
    std::filesystem::path archive_ = dir_ / "archive.dat";
};

TEST_F(PortalDatPath, ExistingVariableWinsExactlyAsWritten) {
    std::filesystem::create_directory(archive_.string() + ".d");
    set(archive_.string() + ".d/../archive.dat");
    EXPECT_EQ(get_portal_dat_path(existing_default_),
              std::filesystem::path{archive_.string() + ".d/../archive.dat"});
}

TEST_F(PortalDatPath, EmptyOrMissingVariableFallsBackToTheDefault) {
    for (const std::string& value : {std::string{}, (dir_ / "nothing.dat").string()}) {
        set(value);
        EXPECT_EQ(get_portal_dat_path(existing_default_), existing_default_) << value;
    }
}

TEST_F(PortalDatPath, VariableThatIsNotTextFallsBackToTheDefault) {
    std::ofstream{dir_ / "\xFF.dat"} << "x";
    set((dir_ / "\xFF.dat").string());
    EXPECT_EQ(get_portal_dat_path(existing_default_), existing_default_);
}

TEST_F(PortalDatPath, DirectoryCountsAsExisting) {
    set(dir_.path().string());
    EXPECT_EQ(get_portal_dat_path(missing_default_), dir_.path());
}

TEST_F(PortalDatPath, NothingWhenNeitherExists) {
    EXPECT_EQ(get_portal_dat_path(missing_default_), std::nullopt);
    set((dir_ / "nothing.dat").string());
    EXPECT_EQ(get_portal_dat_path(missing_default_), std::nullopt);
}

TEST(DefaultPortalDatPath, IsJoinedNotNormalised) {
    EXPECT_THAT(default_portal_dat_path().string(),
                ::testing::EndsWith("crates/tarnwick-dat/../../dats/portal.dat"));
    EXPECT_TRUE(default_portal_dat_path().is_absolute());
}

}  // namespace
}  // namespace tarnwick_dat
