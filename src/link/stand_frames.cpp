#include "link/stand_frames.h"

#include "core/error_report.h"

#include <cmath>

namespace kvintor {

namespace {

char digit(int value) { return char('0' + value); }

void requireStand(int stand)
{
    if (stand < 1 || stand > 5)
        throw kv::Error(QStringLiteral("Номер стенда %1 вне диапазона 1..5").arg(stand));
}

void requirePosition(int position)
{
    if (position < 1 || position > 6)
        throw kv::Error(QStringLiteral("Номер места %1 вне диапазона 1..6").arg(position));
}

QByteArray framed(char address, const QByteArray &body)
{
    QByteArray f;
    f.reserve(body.size() + 3);
    f.append(frame::Start);
    f.append(address);
    f.append(body);
    f.append(frame::ETX);
    return f;
}

bool allDigits(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

}  // namespace

QByteArray PollRequest(int stand)
{
    requireStand(stand);
    return framed(digit(stand), QByteArray() + frame::SOH + 'U');
}

QByteArray AutoRequest() { return framed('0', QByteArray() + frame::SOH + 'X'); }

QByteArray StandResetRequest(int stand)
{
    requireStand(stand);
    return framed(digit(stand), QByteArray() + frame::SOH + 'V');
}

QByteArray MeterResetRequest(int stand, int position)
{
    requireStand(stand);
    requirePosition(position);
    return framed(digit(stand), QByteArray() + frame::SOH + 'W' + digit(position));
}

QByteArray ResultsRequest(int stand)
{
    requireStand(stand);
    return framed(digit(stand), QByteArray("?"));
}

std::optional<ScaledConstant> ScaleConstant(double constant)
{
    if (!std::isfinite(constant) || constant <= 0)
        return std::nullopt;
    double k = constant;
    int e = 6;
    // Each turn either lifts k by ten or lowers it by ten, so k reaches
    // 10000..99999 unless it lands in the gap below 100000, where it would
    // swing between 9999.9.. and 99999.9.. for ever.
    while (k < 10000 || k > 99999) {
        if (k < 10000) {
            k *= 10;
            ++e;
        }
        if (k > 99999 && k < 100000)
            return std::nullopt;
        if (k > 99999) {
            k /= 10;
            --e;
        }
    }
    if (e < 0)
        return std::nullopt;
    // nearbyint rounds halves to the even neighbour in the default mode.
    const double rounded = std::nearbyint(k);
    if (rounded < 10000 || rounded > 99999)
        return std::nullopt;
    return ScaledConstant{int(rounded), e};
}

QByteArray SetupRequest(int stand, char letter, double constant, int count, int energyDigit)
{
    requireStand(stand);
    if (letter != 'P' && letter != 'Q' && letter != 'R')
        throw kv::Error(QStringLiteral("Неизвестный вид испытания"));
    if (count < 0)
        throw kv::Error(QStringLiteral("Число оборотов не может быть отрицательным: %1").arg(count));
    if (energyDigit != 1 && energyDigit != 2)
        throw kv::Error(QStringLiteral("Неизвестный вид энергии"));
    const auto scaled = ScaleConstant(constant);
    if (!scaled)
        throw kv::Error(QStringLiteral("Постоянная счетчика %1 не может быть передана стенду")
                            .arg(constant, 0, 'g', 12));
    QByteArray countText = QByteArray::number(count);
    if (countText.size() < 2)
        countText.prepend('0');
    QByteArray body;
    body.append(frame::SOH);
    body.append(letter);
    body.append(frame::STX);
    body.append(QByteArray::number(scaled->Mantissa));
    body.append(countText);
    body.append(QByteArray::number(scaled->Exponent));
    body.append(digit(energyDigit));
    return framed(digit(stand), body);
}

double Request::constant() const { return mantissa * std::pow(10.0, 6 - exponent); }

Request DecodeRequest(const QByteArray &f)
{
    Request r;
    if (f.size() < 4 || f.at(0) != frame::Start || f.at(f.size() - 1) != frame::ETX)
        return r;
    const char address = f.at(1);
    r.stand = address >= '0' && address <= '9' ? address - '0' : -1;
    const QByteArray body = f.mid(2, f.size() - 3);
    if (body == "?") {
        r.kind = Request::ResultsQuery;
        return r;
    }
    if (body.size() < 2 || body.at(0) != frame::SOH)
        return r;
    switch (body.at(1)) {
    case 'U':
        if (body.size() == 2)
            r.kind = Request::Poll;
        return r;
    case 'X':
        if (body.size() == 2)
            r.kind = Request::Auto;
        return r;
    case 'V':
        if (body.size() == 2)
            r.kind = Request::StandReset;
        return r;
    case 'W':
        if (body.size() == 3 && body.at(2) >= '1' && body.at(2) <= '6') {
            r.kind = Request::MeterReset;
            r.position = body.at(2) - '0';
        }
        return r;
    case 'P':
    case 'Q':
    case 'R': {
        // SOH k STX, five mantissa digits, count (>= 2 digits), exponent, energy digit.
        if (body.size() < 3 + 5 + 2 + 1 + 1 || body.at(2) != frame::STX)
            return r;
        const QByteArray digits = body.mid(3);
        if (!allDigits(digits))
            return r;
        const QByteArray middle = digits.mid(5, digits.size() - 6);
        int exponentDigits = 1;
        // A count of three or more digits never starts with "0" (only a single
        // digit gets one), so such a split means a two-digit exponent.
        if (middle.size() >= 4 && middle.at(0) == '0')
            exponentDigits = 2;
        r.kind = Request::Setup;
        r.letter = body.at(1);
        r.mantissa = digits.left(5).toInt();
        r.count = middle.left(middle.size() - exponentDigits).toInt();
        r.exponent = middle.right(exponentDigits).toInt();
        r.energy = digits.right(1).toInt();
        return r;
    }
    default:
        return r;
    }
}

QByteArray AnswerFrame(int stand) { return framed(digit(stand), QByteArray(1, frame::Answer)); }

QByteArray AcknowledgeFrame(int stand, char letter) { return framed(digit(stand), QByteArray() + char(0x06) + letter); }

QByteArray NotPresentFrame(int stand) { return framed(digit(stand), QByteArray(1, char(0x15))); }

QByteArray ResultsFrame(int stand, const QByteArray &groups)
{
    return framed(digit(stand), QByteArray(1, frame::Results) + groups);
}

QByteArray ValueGroup(int position, const QByteArray &fiveCharacters)
{
    return QByteArray(" ") + digit(position) + ' ' + fiveCharacters.left(5).leftJustified(5, '0');
}

QByteArray PulseGroup(int position) { return QByteArray(" Q") + digit(position); }

QByteArray ErrorText(double percent)
{
    const double a = std::fabs(percent);
    QByteArray text;
    if (a < 9.995)
        text = QByteArray::number(a, 'f', 2);
    else if (a < 99.95)
        text = QByteArray::number(a, 'f', 1);
    else
        text = "99.9";
    // "-0.00" would read as a negative error of nothing.
    const bool negative = percent < 0 && text.toDouble() != 0.0;
    return (negative ? QByteArray("-") : QByteArray("+")) + text;
}

int FrameStand(const QByteArray &f)
{
    const char c = FrameByte(f, 2);
    return c >= '1' && c <= '5' ? c - '0' : 0;
}

}  // namespace kvintor
