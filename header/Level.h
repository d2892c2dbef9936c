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

    bool operator==(const Level& rhs) const;
    bool operator!=(const Level& rhs) const;

    int GetType() const { return i_levtype; }
    float GetValue() const { return f_value; }
    void SetName(std::string s_name) { s_lev_name = s_name; }
    std::string GetName() const { return s_lev_name; }
    void Print() const;

private:
    int i_levtype;
    float f_value;
    float f_acoeff;
    float f_bcoeff;
    float f_p0;
    std::string s_lev_name;
};

#endif
