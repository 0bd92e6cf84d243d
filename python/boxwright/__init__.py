"""boxwright: LAMMPS input files for mixtures of small molecules in a cubic box."""
