/*
 * zip.cpp: the gzip member writer and the compressor's input routine,
 * which keeps the CRC-32 and the length of what it reads.
 */
#include "engine/engine.h"

#include "platform/crt.h"

static ulg crc; /* CRC-32 of the input read so far */

int zip(int in, int out)
{
    ush deflate_flags = 0;

    ifd = in;
    ofd = out;
    outbuf[0] = 0x1f;
    outbuf[1] = 0x8b;
    outbuf[2] = 8;
    outbuf[3] = save_orig_name ? 0x08 : 0;
    outbuf[4] = (uch)(time_stamp & 0xff);
    outbuf[5] = (uch)((time_stamp >> 8) & 0xff);
    outbuf[6] = (uch)((time_stamp >> 16) & 0xff);
    outbuf[7] = (uch)((time_stamp >> 24) & 0xff);
    outcnt = 8;

    crc = updcrc(nullptr, 0);
    bi_init(out);
    ct_init();
    lm_init(level, &deflate_flags);
    put_out_byte(deflate_flags & 0xff);
    put_out_byte(11);
    if (save_orig_name) {
        const char *p = xbasename(ifname);
        do
            put_out_byte((uch)*p);
        while (*p++);
    }
    deflate();
    put_out_long(crc);
    put_out_long((ulg)bytes_in);
    flush_outbuf();
    return 0;
}

int file_read(char *buf, unsigned size)
{
    int len = os_read(ifd, buf, size);
    if (len == 0 || len == -1)
        return len;
    crc = updcrc((const uch *)buf, (unsigned)len);
    bytes_in += len;
    return len;
}
