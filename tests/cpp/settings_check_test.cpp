#include "pipeline/settings_check.hpp"

#include <gtest/gtest.h>

#include <string>

namespace boxwright {
namespace {

Result<void> checked_pressure(double pressure, PressureUnit unit, Diagnostics& diagnostics) {
    BuildRequest request;
    request.input_script = RunSettings{.pressure = pressure, .pressure_unit = unit};
    return check_settings(request, Watch{}, diagnostics);
}

// The range of a pressure holds in atm whatever its unit, and its ends are told in that unit as
// round numbers: the pressure at an end is taken, one past it refused with that end.
TEST(SettingsCheck, APressureIsCheckedInAtmAndToldInItsUnit) {
    const struct {
        PressureUnit unit;
        double runnable_end;  // 10^6 atm in the unit
        std::string ends;
        std::string plausible_end;  // 10^5 atm
    } cases[] = {
        {PressureUnit::Atm, 1e6, "atm from -1000000 to 1000000", "100000 atm"},
        {PressureUnit::Bar, 1013250, "bar from -1013250 to 1013250", "101325 bar"},
        {PressureUnit::KPa, 101325000, "kPa from -101325000 to 101325000", "10132500 kPa"},
        {PressureUnit::MPa, 101325, "MPa from -101325 to 101325", "10132.5 MPa"},
        {PressureUnit::Pa, 101325000000, "Pa from -101325000000 to 101325000000", "10132500000 Pa"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ends);
        Diagnostics diagnostics;
        EXPECT_TRUE(checked_pressure(-c.runnable_end, c.unit, diagnostics));
        ASSERT_EQ(diagnostics.entries().size(), 1u);  // beyond the plausible 10^5 atm
        EXPECT_NE(diagnostics.entries()[0].text.find("beyond the " + c.plausible_end + " of"),
                  std::string::npos)
            << diagnostics.entries()[0].text;
        const auto refused = checked_pressure(c.runnable_end * 1.5, c.unit, diagnostics);
        ASSERT_FALSE(refused);
        EXPECT_NE(refused.error().message.find("pressure must be a number of " + c.ends),
                  std::string::npos)
            << refused.error().message;
    }
}

}  // namespace
}  // namespace boxwright
