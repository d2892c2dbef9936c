// Packing rules per STASH code and the in-place reductions they apply to field data.
#ifndef TESSOLD_PACKING_H
#define TESSOLD_PACKING_H

#include <list>
#include <string>

#include "Variable.h"

struct PackDetails
{
    int i_stash;
    int i_id;
    int i_skip;
    int i_crop;
    int i_avg;
    int i_pack;
    bool operator==(const PackDetails& rhs) const;
};

class Packing
{
public:
    explicit Packing(std::string s_pack_file_name);

    bool LoadAttributes();
    void PackVariables(std::list<Variable>& x_var_list);
    void PackVariable(Variable& x_variable);
    // Packed codes are rounded to the nearest integer (the CF profile) instead of truncated
    // toward zero (the default output, kept as it always was).
    void SetRoundCodes(bool b_round) { b_round_codes = b_round; }
    const std::list<PackDetails>& GetRules() const { return x_pack_details_list; }
    // What the parser found wrong when LoadAttributes failed on a file that does not parse.
    const std::string& GetFault() const { return s_fault; }

private:
    std::list<PackDetails> x_pack_details_list;
    std::string s_xml_pack_name;
    std::string s_fault;
    bool b_round_codes = false;
};

void BytePackVariable(Variable& x_variable, int i_nbytes, bool b_round = false);
// Rounds every code of a packed variable to the nearest integer (block means leave fractions).
void RoundPackedCodes(Variable& x_variable);
void CropVariable(Variable& x_variable, int i_ncrop);
void SkipVariable(Variable& x_variable, int i_nskip);
void AvgVariable(Variable& x_variable, int i_navg);

// What a block mean averages: reals whose missing value (and NaN) is left out, or integers
// whose declared missing value, if any, is left out.
struct BlockForm
{
    enum Kind { Real, Integer } x_kind = Real;
    float f_missing = 0.0f;
    bool b_has_int_missing = false;
    int i_missing = 0;
};
// The form of a variable's words at the time its blocks are averaged.
BlockForm BlockFormOf(const Variable& x_variable);
// The mean of the k x k block around the word at i_posn of a field i_oncols wide, as a word.
int average(const int* px_data, int i_posn, int i_oncols, int i_navg, const BlockForm& x_form);

#endif
