// The physical constants and unit conversions the layers share: energies read in kelvin become
// kcal/mol, a mass density at the boundary (kg/m³) meets masses in g/mol and lengths in Å, and a
// pressure in any unit becomes LAMMPS's atm or RASPA3's pascal.
#pragma once

#include <cmath>

namespace boxwright {

inline constexpr double KB_KCAL_PER_K = 0.0019872041;  // kcal/mol per kelvin
inline constexpr double AVOGADRO = 6.02214076e23;      // per mol

inline constexpr double CUBIC_ANG_PER_CUBIC_CM = 1e24;
inline constexpr double CUBIC_CM_PER_CUBIC_ANG = 1e-24;
inline constexpr double KG_PER_M3_PER_G_PER_CM3 = 1000.0;

inline constexpr double PASCAL_PER_ATM = 101325.0;  // exact, by definition

// The density in kg/m³ of `mass_g_per_mol` in a cube of edge `edge_ang`.
inline double density_of(double mass_g_per_mol, double edge_ang) {
    const double cubic_cm = edge_ang * edge_ang * edge_ang * CUBIC_CM_PER_CUBIC_ANG;
    return mass_g_per_mol / AVOGADRO / cubic_cm * KG_PER_M3_PER_G_PER_CM3;
}

// The edge in Å of the cube that holds `mass_g_per_mol` at `density_kg_per_m3`.
inline double cube_edge_for(double mass_g_per_mol, double density_kg_per_m3) {
    const double grams = mass_g_per_mol / AVOGADRO;
    const double cubic_cm = grams / (density_kg_per_m3 / KG_PER_M3_PER_G_PER_CM3);
    return std::cbrt(cubic_cm * CUBIC_ANG_PER_CUBIC_CM);
}

}  // namespace boxwright
