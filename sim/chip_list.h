// Every chip the simulated board can carry, one line each. A line names the
// chip's Chip value; the chip's own file, sim/model/chips/<name>.cpp, defines
// its ChipModel <name>_model. Included with IDSTAMP_CHIP defined by the reader.
IDSTAMP_CHIP(ds2431)
IDSTAMP_CHIP(ds28ec20)
IDSTAMP_CHIP(ds2433)
