/*
 * bits.cpp: the bit writer.  Packs codes into outbuf least significant
 * bit first, aligns the stream to a byte, copies stored blocks.
 */
#include "engine/trees.h"

ush bi_buf;
int bi_valid;

void bi_init(int handle)
{
    bi_buf = 0;
    bi_valid = 0;
    if (handle != -1)
        read_buf = file_read;
}

/* Adds the low length bits of value; a value is split at most once. */
void send_bits(int value, int length)
{
    if (bi_valid > 16 - length) {
        bi_buf = (ush)(bi_buf | (value << bi_valid));
        put_out_short(bi_buf);
        bi_buf = (ush)((ush)value >> (16 - bi_valid));
        bi_valid += length - 16;
    } else {
        bi_buf = (ush)(bi_buf | (value << bi_valid));
        bi_valid += length;
    }
}

unsigned bi_reverse(unsigned value, int length)
{
    unsigned res = 0;
    do {
        res |= value & 1;
        value >>= 1;
        res <<= 1;
    } while (--length > 0);
    return res >> 1;
}

void bi_windup()
{
    if (bi_valid > 8)
        put_out_short(bi_buf);
    else if (bi_valid > 0)
        put_out_byte(bi_buf & 0xff);
    bi_buf = 0;
    bi_valid = 0;
}

/* Writes a stored block's LEN, NLEN (with header) and data, byte-aligned. */
void copy_block(const char *buf, unsigned len, int header)
{
    bi_windup();
    if (header) {
        put_out_short((ush)len);
        put_out_short((ush)~len);
    }
    while (len--)
        put_out_byte((uch)*buf++);
}
