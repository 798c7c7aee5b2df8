// The record catalogue: every record of the four output files (.SOR S1-S22,
// .ORS R1-R10, .POR P1-P4, .ORP O1-O3) and of the console log (C1-C3), each
// with its layout, written by name.  The layouts stand here once, next to
// their labels; nothing else in the program quotes an output layout.
#pragma once

#include "records/records.h"
#include "run/run.h"

namespace seqord::layouts {

// ---- .SOR (unit 22)
inline constexpr Format S1 = layout(
    "(' Maximum number of years in data set             (MAXY) = ',I6,/,"
    "' Maximum number of locations in data set         (MAXL) = ',I6,/,"
    "' Maximum number of genotypes in data set         (MAXG) = ',I6,/,"
    "' Year sequential analyses starts                  (IYS) = ',I6,/,"
    "' Year sequential analyses finishes                (IYF) = ',I6,/,"
    "' Number of years in analysis                      (NYA) = ',I6,/,"
    "' Number of elements in LxL upper triagular matrix (NTM) = ',I6)");
inline constexpr Format S2 = layout(
    "(/,' DIMENSIONS OF ARRAYS:',/,' PRESENT DIMENSIONS:  DZ=',I6,' Z=',I6,' MZ=',I6,' AZ=',I6,/,"
    "' DIMENSIONS REQUIRED: DZ=',I6,' Z=',I6,' MZ=',I6,' AZ=',I6)");
inline constexpr Format S3 = layout("()");
inline constexpr Format S4 = layout("(' Job is ',A50)");
inline constexpr Format S5 = layout("(A)");
inline constexpr Format S6 = layout(
    "(' Weighted (W) or unweighted (U) analysis (WEIGHT) ',A1,/,"
    "' SED (S) or COR (C) measure              (PRXTYP) ',A1,/,"
    "' Centered (C) or standardized (S) SED    (SEDTYP) ',A1,/,"
    "' Normal (N) or Z (Z) average correlation (CORTYP) ',A1)");
inline constexpr Format S7 = layout("(' Sequence starts in year ',I3,' & finishes in year ',I3)");
inline constexpr Format S8 = layout("(/,'   For year ',A8)");
inline constexpr Format S9 = layout("(A)");
inline constexpr Format S10 = layout("(I6,1X,A8,1X,1(T17,10E16.8))");
inline constexpr Format S11 = layout("(10F8.3)");
inline constexpr Format S12_empty = layout("()");
inline constexpr Format S12_count = layout("(12I6)");
inline constexpr Format S13 = layout("(12F7.3)");
inline constexpr Format S14 = layout("(' Number of non-zero eigenvalues is      ',I4)");
inline constexpr Format S15 = layout("(' Eigenvalue number                      ',/,10I10)");
inline constexpr Format S16 = layout("(' Eigenvalue                             ',/,10F10.3)");
inline constexpr Format S17 = layout("(' % of variation explained by eigenvector',/,10F10.3)");
inline constexpr Format S18 = layout("(' Cummulative % of variation explained   ',/,10F10.3)");
inline constexpr Format S19_text = layout("(A)");
inline constexpr Format S19_axes = layout("('   NL# Location ',10I10)");
inline constexpr Format S20 = layout("(I6,1X,A8,1X,10F10.3)");
inline constexpr Format S21 = layout(
    "(' Correlations between vectors in succeding years are',/,"
    "'  Year k   Year k+1  vector 1  vector 2  vector 3  vector 4 ')");
inline constexpr Format S22 = layout("(2(2X,I5,3X),4(2X,F7.3,1X))");

// ---- .ORS (unit 23)
inline constexpr Format R1 = layout("(10I6)");
inline constexpr Format R2 = layout("(A50)");
inline constexpr Format R3 = layout("(4(5X,A1))");
inline constexpr Format R4 = layout("(30I6)");
inline constexpr Format R5 = layout("(I6,4X,A8)");
inline constexpr Format R6 = layout("(30I6)");
inline constexpr Format R7 = layout("(30I3)");
inline constexpr Format R8 = layout("(F10.3,I4)");
inline constexpr Format R9 = layout("(16X,10F10.3)");
inline constexpr Format R10 = layout("(I6,1X,A8,1X,10F10.3)");

// ---- .POR (unit 24) and .ORP (unit 25)
inline constexpr Format P1 = layout("(A8,1X,I4,1X,A8,1X,4F8.3)");
inline constexpr Format P2 = layout("()");
inline constexpr Format P3 = layout("(2(I4,1X,A8,1X))");
inline constexpr Format P4 = layout("(' ev as % of SS',4F8.3)");
inline constexpr const Format& O1 = P3;
inline constexpr const Format& O2 = P4;
inline constexpr const Format& O3 = P1;

// ---- console
inline constexpr Format C1_prompt = layout("(A,$)");
inline constexpr Format C1_line = layout("(A)");
inline constexpr Format C2_DZ = layout("(' INCREASE DIMENSION OF DZ ARRAY TO',I8)");
inline constexpr Format C2_Z = layout("(' INCREASE DIMENSION OF Z ARRAY TO',I8)");
inline constexpr Format C2_MZ = layout("(' INCREASE DIMENSION OF MZ ARRAY TO',I8)");
inline constexpr Format C2_AZ = layout("(' INCREASE DIMENSION OF AZ ARRAY TO',I8)");
inline constexpr const Format& C2_report = S2;

}  // namespace seqord::layouts

namespace seqord::out {

// The progress messages of the year loop (S5 records and console lines).
namespace msg {
inline constexpr std::string_view kReadNames = " Read year & location names";
inline constexpr std::string_view kForEachYear = " For each year";
inline constexpr std::string_view kReadNL = " Read number of locations retained in year";
inline constexpr std::string_view kReadElim = " Read elimination vector";
inline constexpr std::string_view kReadMatrix = " Read cummulative proximity matrix";
inline constexpr std::string_view kConvert = " Convert dissimilarity matrix to similarity";
inline constexpr std::string_view kOrdinate = " Ordinate locations";
inline constexpr std::string_view kEigenvalues = " Write eigenvalues";
inline constexpr std::string_view kPlotPoints = " Calculate plotting points";
inline constexpr std::string_view kStorePoints = " Store plotting points";
inline constexpr std::string_view kScores = " Write scores on principal axes";
inline constexpr std::string_view kRotate = " Rotate axes if -ve correlated";
inline constexpr std::string_view kMatrixHeading = "   NL# Location     E((I2=1,I1-1),I1=2,NL)";
inline constexpr std::string_view kScoresTitle = " Scores on principal axes";
inline constexpr std::string_view kAxesTitle = "                Principal axes";
}  // namespace msg

// A run of reals laid out `stride` elements apart.
struct Reals {
    const float* p;
    std::size_t n;
    std::ptrdiff_t stride = 1;
    Out as_out() const { return Out::reals(p, n, stride); }
};

// The four workspace figures of the dimension report: DZ, Z, MZ, AZ.
struct Dimensions {
    std::int64_t dz, z, mz, az;
};

// ---- .SOR
void S1(OutStream& s, std::int64_t maxy, std::int64_t maxl, std::int64_t maxg, std::int64_t iys,
        std::int64_t iyf, std::int64_t nya, std::int64_t ntm);
void S2(OutStream& s, const Dimensions& present, const Dimensions& required);
void S3(OutStream& s);
void S4(OutStream& s, const Text<50>& title);
void S5(OutStream& s, std::string_view message);
void S6(OutStream& s, char weight, char prxtyp, char sedtyp, char cortyp);
void S7(OutStream& s, std::int32_t iys, std::int32_t iyf);
void S8(OutStream& s, const Name& yname);
void S9(OutStream& s);
void S10(OutStream& s, std::int32_t i, const Name& name, Reals values);
void S11(OutStream& s, Reals row);
void S12(OutStream& s, std::int32_t nl, std::int32_t nrot);
void S13(OutStream& s, Reals a_row, Reals v_row);
void S14(OutStream& s, std::int32_t nax);
void S15(OutStream& s, std::int32_t nax);
void S16(OutStream& s, Reals eigenvalues);
void S17(OutStream& s, Reals percent);
void S18(OutStream& s, Reals cumulative);
void S19(OutStream& s, std::int32_t axes);
void S20(OutStream& s, std::int32_t i, const Name& name, Reals scores);
void S21(OutStream& s);
void S22(OutStream& s, std::int32_t k, std::int32_t k1, Reals correlations);

// ---- .ORS
void R1(OutStream& s, std::int64_t maxy, std::int64_t maxl, std::int64_t maxg, std::int64_t iys,
        std::int64_t iyf, std::int64_t nya, std::int64_t ntm);
void R2(OutStream& s, const Text<50>& title);
void R3(OutStream& s, char weight, char prxtyp, char sedtyp, char cortyp);
void R4(OutStream& s, std::int32_t iys, std::int32_t iyf);
void R5(OutStream& s, std::int32_t iy, const Name& yname);
void R6(OutStream& s, std::int32_t nl);
void R7(OutStream& s, const std::int32_t* elim, std::size_t n, std::ptrdiff_t stride);
void R8(OutStream& s, float sum, std::int32_t count);
void R9(OutStream& s, Reals eigenvalues);
void R10(OutStream& s, std::int32_t i, const Name& name, Reals scores);

// ---- .POR and .ORP
void P1(OutStream& s, const Name& year, std::int32_t l, const Name& location, Reals points);
void P2(OutStream& s);
void P3(OutStream& s, std::int32_t k, const Name& year);
void P4(OutStream& s, Reals percent);
inline void O1(OutStream& s, std::int32_t k, const Name& year) { P3(s, k, year); }
inline void O2(OutStream& s, Reals percent) { P4(s, percent); }
inline void O3(OutStream& s, const Name& year, std::int32_t l, const Name& location, Reals points) {
    P1(s, year, l, location, points);
}

// ---- console
void C1_prompt(OutStream& con, std::string_view prompt);
void C1_line(OutStream& con, std::string_view line);
enum class Area { DZ, Z, MZ, AZ };
void C2_increase(OutStream& con, Area area, std::int64_t required);

// A progress message: to .SOR, then to the console.
void log(Files& f, std::string_view message);

}  // namespace seqord::out
