// Butterworth filters as cascades of second-order sections: the reader's high-pass, and the
// filters the damage benchmark models tapes and decks with.
#pragma once

#include <vector>

/// One second-order section: its coefficients, then its last two inputs and outputs.
struct Biquad {
    double B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
    double X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;
};

/// The sections of a Butterworth filter of even `order` with its corner at `hz`, for a signal of
/// `rate` samples per second: a high-pass, or with `high_pass` false a low-pass.
std::vector<Biquad> ButterworthSections(double rate, double hz, int order, bool high_pass);

/// The next output of a section for input `x`.
inline double RunBiquad(Biquad* f, double x)
{
    const double y = f->B0 * x + f->B1 * f->X1 + f->B2 * f->X2 - f->A1 * f->Y1 - f->A2 * f->Y2;
    f->X2 = f->X1;
    f->X1 = x;
    f->Y2 = f->Y1;
    f->Y1 = y;
    return y;
}

/// The next output of a cascade for input `x`.
inline double RunSections(std::vector<Biquad>* sections, double x)
{
    for (Biquad& section : *sections) x = RunBiquad(&section, x);
    return x;
}
