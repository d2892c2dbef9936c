// The fixed-header and lookup words the code reads, numbered from 1 as in the UM documentation.
// Arrays hold them from index 0, so word w of an array is element w - 1.
#ifndef TESSOLD_UMWORDS_H
#define TESSOLD_UMWORDS_H

// Fixed-header words. Each constants section is described by its start word (a 1-based word
// address in the file) and the one or two dimensions after it.
enum FixedHeaderWord : int {
    FH_DATA_SET_FORMAT = 1,  // -32768 in the files this program reads
    FH_SUB_MODEL = 2,
    FH_VERT_COORD_TYPE = 3,
    FH_HORIZ_GRID_TYPE = 4,
    FH_DATASET_TYPE = 5,
    FH_RUN_ID = 6,
    FH_CALENDAR = 8,
    FH_DATA_TIME = 21,  // the first of six: year, month, day, hour, minute, second
    FH_INT_CONSTS = 100,
    FH_REAL_CONSTS = 105,
    FH_LEVEL_CONSTS = 110,
    FH_ROW_CONSTS = 115,
    FH_COL_CONSTS = 120,
    FH_FIELD_CONSTS = 125,
    FH_LOOKUP_START = 150,
    FH_LOOKUP_ENTRY_WORDS = 151,
    FH_LOOKUP_ENTRIES = 152,  // replaced in memory by the number of valid fields
    FH_DATA_START = 160,
};

const int ci_fixhdr_words = 256;

// Lookup words. Words 1 to 45 are integers, 46 to 64 reals whose bits the word holds.
enum LookupWord : int {
    LBYR = 1,   // validity date: the first of six words
    LBYRD = 7,  // data date: the first of six words
    LBTIM = 13,
    LBLREC = 15,
    LBCODE = 16,
    LBROW = 18,
    LBNPT = 19,
    LBEXT = 20,  // words of extra data after a PP field's data
    LBPACK = 21,
    LBFC = 23,
    LBPROC = 25,
    LBVC = 26,
    LBEGIN = 29,  // the one word address counted from 0
    LBNREC = 30,
    LBUSER1 = 39,
    LBUSER4 = 42,
    LBUSER5 = 43,
    LBUSER7 = 45,  // sub-model
    BLEV = 52,   // the level's value; of a hybrid height level its height (m), of hybrid pressure B
    BHLEV = 54,  // of a hybrid height level its sigma, of hybrid pressure A (Pa)
    BPLAT = 56,
    BPLON = 57,
    BZY = 59,
    BDY = 60,
    BZX = 61,
    BDX = 62,
    BMDI = 63,
    BMKS = 64,
};

const int ci_lookup_words = 64;

// The level type (LBVC) of hybrid height levels.
const int ci_lbvc_hybrid_height = 65;

// Fixed-header word i_word of the array.
inline int FixedWord(const int* px_fixhdr, int i_word)
{
    return px_fixhdr[i_word - 1];
}

#endif
