// Packing rules per STASH code and the in-place reductions they apply to field data.
#include "Packing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <tinyxml.h>

#include "RawConvert.h"
#include "Messages.h"
#include "XmlFile.h"

// Attribute names of a rule element, shared by every rule read.
const std::string s_section_name = "section";
const std::string s_id_name = "id";
const std::string s_pack_name = "pack";
const std::string s_skip_name = "skip";
const std::string s_crop_name = "crop";
const std::string s_avg_name = "avg";

bool PackDetails::operator==(const PackDetails& rhs) const
{
    return i_stash == rhs.i_stash && i_id == rhs.i_id && i_skip == rhs.i_skip &&
           i_crop == rhs.i_crop && i_avg == rhs.i_avg && i_pack == rhs.i_pack;
}

Packing::Packing(std::string s_pack_file_name) : s_xml_pack_name(s_pack_file_name) {}

namespace
{

// Returns the attribute's integer, or the default when the text does not start with one.
int ReadIntAttribute(const TiXmlElement* px_ele, const std::string& s_name, int i_default)
{
    int i_value = 0;
    if (px_ele->QueryIntAttribute(s_name, &i_value) != TIXML_SUCCESS)
        return i_default;
    return i_value;
}

// Byte counts a rule may ask for: none, bytes, shorts or plain floats.
bool IsSupportedPack(int i_pack)
{
    return i_pack == 0 || i_pack == 1 || i_pack == 2 || i_pack == 4;
}

// Reads one rule element; reports and returns false when the element cannot become a rule.
bool ReadRule(const TiXmlElement* px_ele, PackDetails& x_rule)
{
    int i_section = ReadIntAttribute(px_ele, s_section_name, -1);
    int i_item = 0;
    bool b_has_id = px_ele->QueryIntAttribute(s_id_name, &i_item) == TIXML_SUCCESS;
    // A code beyond the int range cannot match any field and would overflow.
    const int64_t i_stash = static_cast<int64_t>(i_section) * 1000 + i_item;
    if (!b_has_id || i_section == -1 || i_item == -1 || i_stash > INT32_MAX ||
        i_stash < INT32_MIN) {
        error("Error in XML file: " + px_ele->ValueStr());
        return false;
    }
    int i_pack = ReadIntAttribute(px_ele, s_pack_name, 0);
    if (!IsSupportedPack(i_pack)) {
        error("Unsupported byte packing value");
        return false;
    }
    int i_crop = ReadIntAttribute(px_ele, s_crop_name, 0);
    int i_skip = ReadIntAttribute(px_ele, s_skip_name, 0);
    int i_avg = ReadIntAttribute(px_ele, s_avg_name, 0);
    // Negative reductions have no meaning and would move data outside the fields.
    if (i_crop < 0 || i_skip < 0 || i_avg < 0) {
        error("Error in XML file: " + px_ele->ValueStr());
        return false;
    }
    x_rule.i_stash = static_cast<int>(i_stash);
    x_rule.i_id = 0;
    x_rule.i_skip = i_skip;
    x_rule.i_crop = i_crop;
    x_rule.i_avg = i_avg;
    x_rule.i_pack = i_pack;
    return true;
}

// True when every field of the variable keeps at least one row and one column after the cut.
bool AllFieldsKeepPoints(const Variable& x_variable, int64_t i_loss, int64_t i_div)
{
    for (const VarField& x_field : x_variable.GetVarFields()) {
        const Region& x_region = x_field.GetRegion();
        if ((x_region.GetNRows() - i_loss) / i_div < 1 ||
            (x_region.GetNCols() - i_loss) / i_div < 1)
            return false;
    }
    return true;
}

// Number of values a field holds, in 64 bits so large grids cannot overflow.
int64_t FieldSize(const Region& x_region)
{
    if (x_region.GetNRows() <= 0 || x_region.GetNCols() <= 0)
        return 0;
    return static_cast<int64_t>(x_region.GetNRows()) * x_region.GetNCols();
}

// Returns the packing code of one value that is not missing, kept inside the range of the target
// type: truncated toward zero, or with b_round the nearest integer (half the error).
float PackCode(float f_value, float f_min, float f_scale, float f_half, bool b_round)
{
    float f_missing_code = f_half - 1.0f;
    if (std::isnan(f_value))
        return f_missing_code;
    // Equal values give a zero scale; the lowest code decodes exactly to the minimum.
    if (!(f_scale > 0.0f))
        return -f_half;
    float f_code = (f_value - f_min) / f_scale - f_half;
    if (std::isnan(f_code))
        f_code = f_value > f_min ? f_half - 2.0f : -f_half;
    f_code = std::min(std::max(f_code, -f_half), f_half - 2.0f);
    if (b_round)
        return std::round(f_code);
    return static_cast<float>(static_cast<int32_t>(f_code));
}

} // namespace

bool Packing::LoadAttributes()
{
    if (s_xml_pack_name.empty())
        return true;
    TiXmlDocument x_doc;
    // A file that does not parse would otherwise give the rules before the fault and drop the rest.
    if (!LoadXmlFile(x_doc, s_xml_pack_name) && x_doc.ErrorId() != TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY &&
        x_doc.ErrorId() != TiXmlBase::TIXML_ERROR_OPENING_FILE) {
        s_fault = DescribeXmlError(x_doc);
        return false;
    }
    const TiXmlElement* px_root = x_doc.RootElement();
    if (px_root == nullptr) {
        error("Malformed XML in file.\n");
        return false;
    }
    for (const TiXmlElement* px_ele = px_root->FirstChildElement(); px_ele != nullptr;
         px_ele = px_ele->NextSiblingElement()) {
        PackDetails x_rule;
        if (!ReadRule(px_ele, x_rule))
            return false;
        if (std::find(x_pack_details_list.begin(), x_pack_details_list.end(), x_rule) ==
            x_pack_details_list.end())
            x_pack_details_list.push_back(x_rule);
    }
    return true;
}

void Packing::PackVariables(std::list<Variable>& x_var_list)
{
    for (Variable& x_variable : x_var_list)
        PackVariable(x_variable);
}

void Packing::PackVariable(Variable& x_variable)
{
    if (x_variable.GetVarFields().empty())
        return;
    // The guards use the grid as it was before any rule changed it.
    const int i_stash = x_variable.GetStashCode();
    const Region& x_first = x_variable.GetVarFields().front().GetRegion();
    const int i_rows = x_first.GetNRows();
    const int i_cols = x_first.GetNCols();
    bool b_in_memory = false;
    for (const PackDetails& x_rule : x_pack_details_list) {
        if (x_rule.i_stash != i_stash)
            continue;
        if (!b_in_memory) {
            // The rules read and change the values, so they are taken out of the mapped input first.
            for (VarField& x_field : x_variable.GetVarFields())
                x_field.GetDataToChange();
            b_in_memory = true;
        }
        if (x_rule.i_pack != 0)
            BytePackVariable(x_variable, x_rule.i_pack, b_round_codes);
        const bool b_wider = i_rows > x_rule.i_crop && i_cols > x_rule.i_crop;
        if (x_rule.i_crop != 0 && b_wider)
            CropVariable(x_variable, x_rule.i_crop);
        if (x_rule.i_skip != 0 && b_wider)
            SkipVariable(x_variable, x_rule.i_skip);
        if (x_rule.i_avg != 0 && b_wider)
            AvgVariable(x_variable, x_rule.i_avg);
    }
    if (b_round_codes && x_variable.GetPackingBytes() != 0)
        RoundPackedCodes(x_variable);
}

void RoundPackedCodes(Variable& x_variable)
{
    for (VarField& x_field : x_variable.GetVarFields()) {
        int* px_data = x_field.GetDataToChange();
        const int64_t i_size = FieldSize(x_field.GetRegion());
        for (int64_t i = 0; i < i_size; ++i)
            px_data[i] = static_cast<int>(FLOAT_TO_RAW(std::round(RAW_TO_FLOAT(static_cast<unsigned int>(px_data[i])))));
    }
}

void BytePackVariable(Variable& x_variable, int i_nbytes, bool b_round)
{
    // Four bytes keep plain floats; other counts are never accepted by the loader.
    if (i_nbytes != 1 && i_nbytes != 2)
        return;
    const float f_min = x_variable.GetMinimumValue();
    const float f_max = x_variable.GetMaximumValue();
    const double d_range = std::pow(256.0, i_nbytes);
    const float f_scale = static_cast<float>((f_max - f_min) / (d_range - 2.0));
    const float f_half = static_cast<float>(d_range * 0.5);
    const WordReader x_reader(x_variable);
    for (VarField& x_field : x_variable.GetVarFields()) {
        int* px_data = x_field.GetDataToChange();
        const int64_t i_size = FieldSize(x_field.GetRegion());
        for (int64_t i = 0; i < i_size; ++i) {
            const float f_code = x_reader.IsMissing(px_data[i])
                                     ? f_half - 1.0f
                                     : PackCode(x_reader.Value(px_data[i]), f_min, f_scale, f_half, b_round);
            px_data[i] = static_cast<int>(FLOAT_TO_RAW(f_code));
        }
    }
    x_variable.SetPackingBytes(i_nbytes);
    x_variable.SetScalingFactor(f_scale);
    x_variable.SetOffset(f_min);
}

void CropVariable(Variable& x_variable, int i_ncrop)
{
    if (i_ncrop <= 0 || !AllFieldsKeepPoints(x_variable, 2 * static_cast<int64_t>(i_ncrop), 1))
        return;
    for (VarField& x_field : x_variable.GetVarFields()) {
        const int64_t i_old_cols = x_field.GetRegion().GetNCols();
        x_field.GetRegion().Crop(i_ncrop);
        const int64_t i_rows = x_field.GetRegion().GetNRows();
        const int64_t i_cols = x_field.GetRegion().GetNCols();
        int* px_data = x_field.GetDataToChange();
        // Each kept point lies at or after its new place, so a forward copy never loses data.
        for (int64_t i = 0; i < i_rows; ++i)
            for (int64_t j = 0; j < i_cols; ++j)
                px_data[i * i_cols + j] = px_data[(i + i_ncrop) * i_old_cols + j + i_ncrop];
    }
}

void SkipVariable(Variable& x_variable, int i_nskip)
{
    if (i_nskip <= 0 || !AllFieldsKeepPoints(x_variable, 0, i_nskip))
        return;
    const int64_t i_mid = i_nskip / 2;
    for (VarField& x_field : x_variable.GetVarFields()) {
        const int64_t i_old_cols = x_field.GetRegion().GetNCols();
        x_field.GetRegion().Thin(i_nskip);
        const int64_t i_rows = x_field.GetRegion().GetNRows();
        const int64_t i_cols = x_field.GetRegion().GetNCols();
        int* px_data = x_field.GetDataToChange();
        for (int64_t i = 0; i < i_rows; ++i)
            for (int64_t j = 0; j < i_cols; ++j)
                px_data[i * i_cols + j] =
                    px_data[(i * i_nskip + i_mid) * i_old_cols + j * i_nskip + i_mid];
    }
}

BlockForm BlockFormOf(const Variable& x_variable)
{
    BlockForm x_form;
    const int i_pack = x_variable.GetPackingBytes();
    if (i_pack == 1 || i_pack == 2) {
        // Packing ran first: the words hold codes as reals, and H - 1 marks missing points.
        x_form.x_kind = BlockForm::Real;
        x_form.f_missing = static_cast<float>(std::pow(256.0, i_pack) * 0.5 - 1.0);
    } else if (x_variable.HoldsIntegers()) {
        x_form.x_kind = BlockForm::Integer;
        x_form.b_has_int_missing = x_variable.GetIntegerMissingValue(x_form.i_missing);
    } else {
        x_form.x_kind = BlockForm::Real;
        x_form.f_missing = x_variable.GetMissingValue();
    }
    return x_form;
}

void AvgVariable(Variable& x_variable, int i_navg)
{
    if (i_navg <= 0 || !AllFieldsKeepPoints(x_variable, 0, i_navg))
        return;
    const BlockForm x_form = BlockFormOf(x_variable);
    const int64_t i_mid = i_navg / 2;
    for (VarField& x_field : x_variable.GetVarFields()) {
        const int i_old_cols = x_field.GetRegion().GetNCols();
        x_field.GetRegion().SubSample(i_navg);
        const int64_t i_rows = x_field.GetRegion().GetNRows();
        const int64_t i_cols = x_field.GetRegion().GetNCols();
        int* px_data = x_field.GetDataToChange();
        for (int64_t i = 0; i < i_rows; ++i) {
            // Positions are taken from the block's own first row to keep them small.
            int* px_block = px_data + i * i_navg * i_old_cols;
            for (int64_t j = 0; j < i_cols; ++j) {
                const int64_t i_posn = i_mid * i_old_cols + j * i_navg + i_mid;
                px_data[i * i_cols + j] = average(px_block, static_cast<int>(i_posn), i_old_cols, i_navg, x_form);
            }
        }
    }
}

namespace
{

// Calls x_visit with each word of the k x k block around i_posn, row by row.
template <typename Visit>
void ForEachBlockWord(const int* px_data, int i_posn, int i_oncols, int i_navg, Visit x_visit)
{
    const int i_low = -(i_navg / 2);
    const int i_high = static_cast<int>(0.5 * i_navg + 0.5) - 1;
    for (int i_row = i_low; i_row <= i_high; ++i_row)
        for (int i_col = i_low; i_col <= i_high; ++i_col)
            x_visit(px_data[static_cast<int64_t>(i_posn) + static_cast<int64_t>(i_row) * i_oncols + i_col]);
}

// The mean of the block's reals that are neither missing nor NaN, summed in single precision
// with the weight 1 / n; the missing value when there is none.
int RealMean(const int* px_data, int i_posn, int i_oncols, int i_navg, float f_missing)
{
    int64_t i_count = 0;
    const auto b_real = [f_missing](float f_value) { return !(f_value == f_missing) && !std::isnan(f_value); };
    ForEachBlockWord(px_data, i_posn, i_oncols, i_navg, [&](int i_word) {
        i_count += b_real(RAW_TO_FLOAT(static_cast<unsigned int>(i_word))) ? 1 : 0;
    });
    if (i_count == 0)
        return static_cast<int>(FLOAT_TO_RAW(f_missing));
    const float f_weight = 1.0f / static_cast<float>(i_count);
    float f_sum = 0.0f;
    ForEachBlockWord(px_data, i_posn, i_oncols, i_navg, [&](int i_word) {
        const float f_value = RAW_TO_FLOAT(static_cast<unsigned int>(i_word));
        if (b_real(f_value))
            f_sum = f_value * f_weight + f_sum;
    });
    return static_cast<int>(FLOAT_TO_RAW(f_sum));
}

// The mean of the block's integers other than the missing one, rounded to the nearest integer.
int IntegerMean(const int* px_data, int i_posn, int i_oncols, int i_navg, const BlockForm& x_form)
{
    int64_t i_count = 0;
    int64_t i_sum = 0;
    ForEachBlockWord(px_data, i_posn, i_oncols, i_navg, [&](int i_word) {
        if (x_form.b_has_int_missing && i_word == x_form.i_missing)
            return;
        ++i_count;
        i_sum += i_word;
    });
    if (i_count == 0)
        return x_form.i_missing;
    return static_cast<int>(std::llround(static_cast<double>(i_sum) / static_cast<double>(i_count)));
}

} // namespace

int average(const int* px_data, int i_posn, int i_oncols, int i_navg, const BlockForm& x_form)
{
    if (x_form.x_kind == BlockForm::Integer)
        return IntegerMean(px_data, i_posn, i_oncols, i_navg, x_form);
    return RealMean(px_data, i_posn, i_oncols, i_navg, x_form.f_missing);
}
