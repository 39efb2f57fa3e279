/*
 * The least a line-by-line copier can do when every output line must reach
 * the output file before the next is read: read 64 KiB at a time and issue
 * one write per line. Usage: floor INPUT OUTPUT. Lines longer than the
 * buffer are written in pieces; the benchmark's lines are short.
 */
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char **argv) {
    static char buffer[1 << 16];
    if (argc != 3)
        return 2;
    int in = open(argv[1], O_RDONLY);
    int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0)
        return 1;
    size_t kept = 0;
    for (;;) {
        ssize_t got = read(in, buffer + kept, sizeof buffer - kept);
        if (got <= 0)
            break;
        size_t filled = kept + (size_t)got, start = 0;
        for (char *end; (end = memchr(buffer + start, '\n', filled - start)) != NULL;) {
            size_t length = (size_t)(end - buffer) + 1 - start;
            if (write(out, buffer + start, length) != (ssize_t)length)
                return 1;
            start += length;
        }
        kept = filled - start;
        if (kept == sizeof buffer) {
            if (write(out, buffer, kept) != (ssize_t)kept)
                return 1;
            kept = 0;
        } else {
            memmove(buffer, buffer + start, kept);
        }
    }
    if (kept > 0 && write(out, buffer, kept) != (ssize_t)kept)
        return 1;
    return close(out) == 0 ? 0 : 1;
}
