#pragma once
// The frames on the line to the stands, both directions: "/", the stand digit,
// a body, 0x03. No length, no checksum. The control program builds requests
// and reads replies; the stand simulator reads requests and builds replies, so
// both sides share this one codec.

#include <QByteArray>

#include <optional>

namespace kvintor {

namespace frame {
inline constexpr char Start = '/';
inline constexpr char SOH = 0x01;
inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char Answer = 0x04;   // reply type: the addressed stand answers
inline constexpr char Results = 0x02;  // reply type: per-position reports follow
}  // namespace frame

// ---- Requests (control program -> stands) ----------------------------------

// Stand numbers are 1..5 and positions 1..6; anything else is refused with a
// kv::Error, so no malformed request reaches the line.
QByteArray PollRequest(int stand);                 // "/" s SOH "U" ETX
QByteArray AutoRequest();                          // "/" "0" SOH "X" ETX, to all stands
QByteArray StandResetRequest(int stand);           // "/" s SOH "V" ETX
QByteArray MeterResetRequest(int stand, int position);  // "/" s SOH "W" p ETX
QByteArray ResultsRequest(int stand);              // "/" s "?" ETX

// The meter constant K (impulses or turns per kWh) as the stands take it:
// K = Mantissa * 10^(6 - Exponent), Mantissa 10000..99999.
struct ScaledConstant {
    int Mantissa = 0;
    int Exponent = 0;
};

// Scales K into 10000..99999 by powers of ten and rounds half to even.
// Empty for a constant that has no such form: zero, negative, not finite,
// one whose scaled value falls between 99999 and 100000, and one so large
// that the exponent would turn negative (10^11 and more), which the stands
// cannot read.
std::optional<ScaledConstant> ScaleConstant(double constant);

// The point set-up request "/" s SOH k STX mantissa count exponent energy ETX.
// letter: 'P' error point or register test, 'Q' sensitivity, 'R' creep.
// count: turns or pulses (0 for sensitivity and creep), written with at least
// two digits. energyDigit: 1 active, 2 otherwise. Throws kv::Error with a
// Russian text when the constant cannot be scaled or an argument is out of range.
QByteArray SetupRequest(int stand, char letter, double constant, int count, int energyDigit);

// ---- Requests as a stand reads them ----------------------------------------

struct Request {
    enum Kind { Unknown, Poll, Auto, StandReset, MeterReset, Setup, ResultsQuery };
    Kind kind = Unknown;
    int stand = -1;     // 0 for "all stands", -1 when the address is not a digit
    int position = 0;   // meter reset
    char letter = 0;    // set-up
    int mantissa = 0;
    int count = 0;
    int exponent = 0;
    int energy = 0;
    // The set-up constant, mantissa * 10^(6 - exponent).
    double constant() const;
};

// Reads one complete request frame ("/" ... 0x03). The digits after the
// mantissa hold the count and the exponent with no separator; the exponent is
// taken as one digit (every constant from 10 to 10^11 has one), except that a
// two-digit count leaves a two-digit exponent for the small constants.
Request DecodeRequest(const QByteArray &frame);

// ---- Replies (stands -> control program) -----------------------------------

QByteArray AnswerFrame(int stand);                 // "/" s 0x04 ETX
// A stand's acknowledgement of a reset: "/" s 0x06 letter ETX, letter 'V' or 'W'.
QByteArray AcknowledgeFrame(int stand, char letter);
// A reply that is no answer, from the installation for a stand that is not there.
QByteArray NotPresentFrame(int stand);             // "/" s 0x15 ETX
// "/" s 0x02 groups ETX, groups such as " 1 +0.12" and " Q4".
QByteArray ResultsFrame(int stand, const QByteArray &groups);
QByteArray ValueGroup(int position, const QByteArray &fiveCharacters);
QByteArray PulseGroup(int position);
// An error in per cent as five characters: "+0.12", "-1.05", "+12.3".
QByteArray ErrorText(double percent);

// Byte n (counting from 1, as the protocol does) of a frame, or 0 when the
// frame is shorter.
inline char FrameByte(const QByteArray &f, int n) { return n >= 1 && n <= f.size() ? f.at(n - 1) : char(0); }
// The stand digit of byte 2 as 1..5, or 0 when it is no stand digit.
int FrameStand(const QByteArray &f);

}  // namespace kvintor
