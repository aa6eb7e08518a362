#pragma once

namespace ostrevo {

// An EAN-13 barcode is 95 modules wide. A form gives a barcode a module of a hundredth of
// its box, so that it fills about 95 % of the box from the left edge.

// The module in whole device pixels for a box `width` pixels wide: a hundredth of it,
// rounded, but never so wide that the 95 modules pass the box's right edge (a rounded-up
// module would run the bars into a neighbouring box, where a scanner may read the two
// barcodes as one valid third number). 0 when not even a pixel a module fits.
int FormBarcodeModule(int width);

// The narrowest module a scanner reads dependably: EAN-13 at 80 % of its nominal 0.33 mm,
// the smallest size GS1 allows. Millimetres on paper.
constexpr double ScannableBarcodeModuleMm = 0.264;

} // namespace ostrevo
