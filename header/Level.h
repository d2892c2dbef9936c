// The vertical coordinate of one field: level type, value and hybrid coefficients.
#ifndef TESSOLD_LEVEL_H
#define TESSOLD_LEVEL_H

#include <string>

class Level
{
public:
    Level();

    void Set(int i_levtype, float f_value);
    void Set(int i_levtype, float f_acoeff, float f_bcoeff, float f_p0);
    // A hybrid height level (LBVC 65): its value is the level height; the sigma coefficient is
    // kept beside it for the CF profile and, as before it was read, decides no equality.
    void SetHybridHeight(float f_height, float f_new_sigma);
    // A pseudo level (LBUSER5 not 0): its value is the pseudo-level number; the mark is read by
    // the CF profile only and decides no equality.
    void SetPseudo(int i_levtype, int i_pseudo);
    bool IsPseudo() const { return b_pseudo; }

    bool operator==(const Level& rhs) const;
    bool operator!=(const Level& rhs) const;

    int GetType() const { return i_levtype; }
    float GetValue() const { return f_value; }
    // The hybrid pressure coefficients A (Pa) and B of LBVC 9 and 129, and the sigma of LBVC 65.
    float GetACoeff() const { return f_acoeff; }
    float GetBCoeff() const { return f_bcoeff; }
    float GetSigma() const { return f_sigma; }
    void SetName(std::string s_name) { s_lev_name = s_name; }
    std::string GetName() const { return s_lev_name; }
    void Print() const;

private:
    int i_levtype;
    float f_value;
    float f_acoeff;
    float f_bcoeff;
    float f_p0;
    float f_sigma;
    bool b_pseudo;
    std::string s_lev_name;
};

#endif
