// Copies between indexed maps that keep every pixel's colour. Each tile of an indexed container
// carries a colour table of its own, and the pixel maps' copy rule matches pixels of another
// table to the nearest colours of the destination's, which changes colours even when both sets
// would fit one table. These copies give the colours the destination lacks entries that no other
// pixel shows.
#pragma once

#include "pix_map.h"

#include <bitset>

using ColorEntries = std::bitset<256>;

// The table entries that the pixels of `map` inside `rect` use (image coordinates, clipped to
// the map), leaving out those inside `except`.
ColorEntries EntriesUsed(const CPixMap& map, const PixRect& rect, const PixRect& except = {});

// Copies the pixels of `source` that lie inside `destination`, both indexed. `kept` names the
// entries whose colours other pixels of the destination show: they keep them, and on return
// `kept` includes the entries the copied pixels use. A source colour takes its own index when
// the destination shows that colour there, else an entry of that colour, else a free entry,
// which is recoloured and added to `recolored`; the destination's background index is given to
// no other index's colour. When the colours do not fit, destination pixels that show one colour
// through several kept entries move to the first of them and the freed entries are tried; if
// they still do not fit the result is false, with every colour of the destination as it was,
// and the caller copies by the pixel maps' rule. A map without a table copies by that rule.
bool CopyKeepingColors(const CPixMap& source, CPixMap& destination, ColorEntries& kept,
                       ColorEntries* recolored = nullptr);
