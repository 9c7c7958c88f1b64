// The check program: hands its registry of named checks to the runner.

#include <array>
#include <string_view>

#include "common/motion_command_names.hpp"
#include "runner/check_site.hpp"
#include "runner/test_main.hpp"

namespace {

template <void (*Body)()>
runner::TestOutcome entry() {
    Body();
    return runner::assert_test_result();
}

template <void (*Body)()>
runner::TestDescAndFn integration_check(std::string_view name, const runner::CheckSite& site) {
    const std::string_view function_name = name.substr(name.rfind(':') + 1);
    runner::TestDesc desc;
    desc.name = name;
    desc.source_path = site.file;
    desc.start_line = site.line;
    desc.start_col = runner::CHECK_NAME_COLUMN;
    desc.end_line = site.line;
    desc.end_col = runner::CHECK_NAME_COLUMN + function_name.size();
    desc.test_kind = runner::TestKind::Integration;
    return {std::move(desc), &entry<Body>};
}

// A check registered under its qualified name, which is also the name it is run and filtered by.
#define INTEGRATION_CHECK(qualified) integration_check<&qualified>(#qualified, qualified##_site)

// In ascending order of name: the runner keeps the order it is given.
const auto& registry() {
    static const std::array checks{
        INTEGRATION_CHECK(common::motion_command_names::tests::classify_known_commands),
        INTEGRATION_CHECK(common::motion_command_names::tests::lookup_known_commands),
        INTEGRATION_CHECK(
            common::motion_command_names::tests::table_is_strictly_sorted_for_binary_search),
    };
    static const auto pointers = [] {
        std::array<const runner::TestDescAndFn*, checks.size()> all{};
        for (std::size_t i = 0; i < checks.size(); ++i) {
            all[i] = &checks[i];
        }
        return all;
    }();
    return pointers;
}

}  // namespace

int main() {
    runner::test_main_static(registry());
}
