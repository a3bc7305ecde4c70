// kvintor-pxread FILE
//
// Prints one Paradox table on standard output, one item a line:
//   PXREAD 1
//   version <file version, 30..70>
//   codepage <code page from the header, 0 when none>
//   records <number of records>
//   field <type code> <size in bytes> <name as hex of its bytes>   (one a field)
//   fields-end
//   r <value>\t<value>...                                        (one a record)
//   end
// Values: "-" empty; "s<hex>" text bytes as stored (the reader converts from
// the code page); "i<n>" integer; "f<number>" real; "b0"/"b1" logical;
// "d<YYYY-MM-DD>" date; "t<HH:MM:SS>" time; "T<YYYY-MM-DD HH:MM:SS>" timestamp.
// Blobs and bytes fields are printed empty.
// On failure the last line is "error <kind> <text>" with kind open, format or
// damaged, and the exit code is 2, 3 or 4.

extern "C" {
#include <paradox.h>
}

#ifdef __unix__
#include <sys/resource.h>
#endif
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const long kSdnOffset = 1721425;  // day 1 of year 1 in the library's day numbers

void silentErrors(pxdoc_t *, int, const char *, void *) {}

int fail(const char *kind, const std::string &text, int code)
{
    std::printf("error %s %s\n", kind, text.c_str());
    std::fflush(stdout);
    return code;
}

std::string hex(const char *bytes, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string dateText(long days)
{
    int y = 0, m = 0, d = 0;
    PX_SdnToGregorian(days + kSdnOffset, &y, &m, &d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

std::string timeText(long msOfDay)
{
    const long s = msOfDay / 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02ld:%02ld:%02ld", (s / 3600) % 24, (s / 60) % 60, s % 60);
    return buf;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kvintor-pxread FILE\n");
        return 1;
    }
    // A damaged header can ask the library for absurd amounts of memory.
    // (Unix only; elsewhere the parent's time limit is the only bound.)
#ifdef __unix__
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = rlim_t(1024) * 1024 * 1024;
    setrlimit(RLIMIT_AS, &limit);
#endif

    struct stat st {};
    if (stat(argv[1], &st) != 0 || !S_ISREG(st.st_mode))
        return fail("open", "no such file", 2);
    FILE *probe = std::fopen(argv[1], "rb");
    if (!probe)
        return fail("open", "cannot read the file", 2);
    std::fclose(probe);

    pxdoc_t *px = PX_new2(silentErrors, nullptr, nullptr, nullptr);
    if (!px)
        return fail("open", "out of memory", 2);
    if (PX_open_file(px, argv[1]) < 0)
        return fail("format", "not a Paradox table", 3);
    pxhead_t *head = px->px_head;
    if (!head || (head->px_filetype != pxfFileTypIndexDB && head->px_filetype != pxfFileTypNonIndexDB))
        return fail("format", "not a Paradox table", 3);
    const int numFields = PX_get_num_fields(px);
    const int numRecords = PX_get_num_records(px);
    const int recordSize = PX_get_recordsize(px);
    pxfield_t *fields = PX_get_fields(px);
    if (numFields <= 0 || numFields > 1024 || recordSize <= 0 || !fields || numRecords < 0)
        return fail("format", "not a Paradox table", 3);
    long sum = 0;
    for (int i = 0; i < numFields; ++i) {
        if (fields[i].px_flen <= 0 || !fields[i].px_fname)
            return fail("format", "bad field description", 3);
        sum += fields[i].px_flen;
    }
    if (sum != recordSize)
        return fail("format", "field sizes do not add up to the record size", 3);
    if (double(numRecords) * double(recordSize) > double(st.st_size))
        return fail("damaged", "the file is shorter than its records", 4);
    // Header, then whole blocks of maxtablesize kilobytes: a cut file lacks some.
    const double expected = double(head->px_headersize) + double(head->px_fileblocks) * head->px_maxtablesize * 1024.0;
    if (head->px_maxtablesize <= 0 || head->px_headersize <= 0 || expected > double(st.st_size))
        return fail("damaged", "the file is shorter than its blocks", 4);

    std::printf("PXREAD 1\nversion %d\ncodepage %d\nrecords %d\n", head->px_fileversion, head->px_doscodepage,
                numRecords);
    for (int i = 0; i < numFields; ++i)
        std::printf("field %d %d %s\n", int(static_cast<unsigned char>(fields[i].px_ftype)), fields[i].px_flen,
                    hex(fields[i].px_fname, std::strlen(fields[i].px_fname)).c_str());
    std::printf("fields-end\n");
    std::fflush(stdout);

    std::vector<char> record(size_t(recordSize) + 16);
    std::string line;
    for (int r = 0; r < numRecords; ++r) {
        std::memset(record.data(), 0, record.size());
        if (!PX_get_record(px, r, record.data()))
            return fail("damaged", "record " + std::to_string(r + 1) + " cannot be read", 4);
        line = "r ";
        int offset = 0;
        for (int f = 0; f < numFields; ++f) {
            if (f > 0)
                line += '\t';
            char *data = record.data() + offset;
            const int len = fields[f].px_flen;
            offset += len;
            std::string value = "-";
            switch (static_cast<unsigned char>(fields[f].px_ftype)) {
            case pxfAlpha: {
                char *s = nullptr;
                if (PX_get_data_alpha(px, data, len, &s) > 0 && s) {
                    value = "s" + hex(s, std::strlen(s));
                }
                if (s)
                    px->free(px, s);
                break;
            }
            case pxfShort: {
                short v = 0;
                if (PX_get_data_short(px, data, len, &v) > 0)
                    value = "i" + std::to_string(v);
                break;
            }
            case pxfLong:
            case pxfAutoInc: {
                long v = 0;
                // The library reads an empty long field as the smallest value.
                if (PX_get_data_long(px, data, len, &v) > 0 && v != -2147483647L - 1)
                    value = "i" + std::to_string(v);
                break;
            }
            case pxfNumber:
            case pxfCurrency: {
                double v = 0;
                if (PX_get_data_double(px, data, len, &v) > 0 && std::isfinite(v)) {
                    char buf[64];
                    std::snprintf(buf, sizeof buf, "f%.17g", v);
                    value = buf;
                }
                break;
            }
            case pxfBCD: {
                char *s = nullptr;
                if (PX_get_data_bcd(px, reinterpret_cast<unsigned char *>(data), fields[f].px_fdc, &s) > 0 && s)
                    value = std::string("f") + s;
                if (s)
                    px->free(px, s);
                break;
            }
            case pxfLogical: {
                char v = 0;
                if (PX_get_data_byte(px, data, len, &v) > 0)
                    value = v ? "b1" : "b0";
                break;
            }
            case pxfDate: {
                long v = 0;
                if (PX_get_data_long(px, data, len, &v) > 0 && v > 0 && v < 4000000)
                    value = "d" + dateText(v);
                break;
            }
            case pxfTime: {
                long v = 0;
                if (PX_get_data_long(px, data, len, &v) > 0 && v >= 0)
                    value = "t" + timeText(v);
                break;
            }
            case pxfTimestamp: {
                double v = 0;
                if (PX_get_data_double(px, data, len, &v) > 0 && std::isfinite(v) && v > 0 && v < 1e15) {
                    const double seconds = std::floor(v / 1000.0);
                    const long days = long(std::floor(seconds / 86400.0));
                    const long ms = long(seconds - double(days) * 86400.0) * 1000;
                    value = "T" + dateText(days) + " " + timeText(ms);
                }
                break;
            }
            default:
                break;  // blobs, bytes, graphics: not part of any table the programs read
            }
            line += value;
        }
        line += '\n';
        std::fputs(line.c_str(), stdout);
    }
    std::printf("end\n");
    std::fflush(stdout);
    PX_close(px);
    PX_delete(px);
    return 0;
}
