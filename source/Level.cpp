// The vertical coordinate of one field, with hybrid levels derived from their coefficients.
#include "Level.h"

#include <iostream>

Level::Level() : i_levtype(0), f_value(0.0f), f_acoeff(0.0f), f_bcoeff(0.0f), f_p0(0.0f), f_sigma(0.0f), b_pseudo(false) {}

void Level::Set(int i_new_levtype, float f_new_value)
{
    i_levtype = i_new_levtype;
    f_value = f_new_value;
    f_acoeff = 0.0f;
    f_bcoeff = 0.0f;
    f_p0 = 0.0f;
    f_sigma = 0.0f;
    b_pseudo = false;
}

void Level::Set(int i_new_levtype, float f_new_acoeff, float f_new_bcoeff, float f_new_p0)
{
    i_levtype = i_new_levtype;
    f_acoeff = f_new_acoeff;
    f_bcoeff = f_new_bcoeff;
    f_p0 = f_new_p0;
    f_sigma = 0.0f;
    b_pseudo = false;
    // The hybrid value is evaluated in double and rounded to float only once.
    double d_value = (static_cast<double>(f_bcoeff) +
                      static_cast<double>(f_acoeff) / static_cast<double>(f_p0)) * 1000.0;
    f_value = static_cast<float>(d_value);
}

void Level::SetHybridHeight(float f_height, float f_new_sigma)
{
    Set(65, f_height);
    f_sigma = f_new_sigma;
}

void Level::SetPseudo(int i_new_levtype, int i_pseudo)
{
    Set(i_new_levtype, static_cast<float>(i_pseudo));
    b_pseudo = true;
}

bool Level::operator==(const Level& rhs) const
{
    return i_levtype == rhs.i_levtype && f_value == rhs.f_value && f_acoeff == rhs.f_acoeff &&
           f_bcoeff == rhs.f_bcoeff && f_p0 == rhs.f_p0;
}

bool Level::operator!=(const Level& rhs) const { return !(*this == rhs); }

void Level::Print() const
{
    std::cout << i_levtype << "  " << f_value << std::endl;
    if (i_levtype == 129 || i_levtype == 9)
        std::cout << "\t" << f_acoeff << " " << f_bcoeff << " " << f_p0 << std::endl;
}
