#!/usr/bin/env python3
"""Writes the seed corpora under tests/fuzz/corpus/<fuzzer>/. Standard library only.

Run again after changing it: python3 tests/fuzz/make_seeds.py (it replaces the seed folders).
The seeds are small on purpose; the fuzzers grow their own corpus in a temporary copy.
"""
import os
import shutil
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS, BI_JPEG, BI_PNG, BI_ALPHABITFIELDS = 0, 1, 2, 3, 4, 5, 6
LCS_SRGB, PROFILE_LINKED, PROFILE_EMBEDDED = 0x73524742, 0x4C494E4B, 0x4D424544


def dib(width=4, height=3, bits=8, header=40, planes=1, compression=BI_RGB, clr_used=0,
        masks=None, palette=None, pixel_bytes=None, cs_type=LCS_SRGB, profile=None,
        cut=0, extra=b"", size_image=0):
    """A packed DIB. Layout fields are computed from the shape unless given; `cut` drops bytes
    from the end, `extra` appends some. `profile` is (offset, size, bytes) for V5 headers, where
    offset None puts the bytes right after the pixels."""
    if masks is None and compression == BI_BITFIELDS:
        masks = (0xF800, 0x07E0, 0x001F) if bits == 16 else (0xFF0000, 0x00FF00, 0x0000FF)
    if palette is None:
        palette = (1 << bits if clr_used == 0 else clr_used) if bits <= 8 else clr_used
    if pixel_bytes is None:
        stride = (abs(width) * bits + 31) // 32 * 4
        pixel_bytes = stride * abs(height)
    h = bytearray(header)
    struct.pack_into("<IiiHHIIiiII", h, 0, header, width, height, planes, bits, compression,
                     size_image, 2835, 2835, clr_used, 0)
    mask_block = b""
    if masks is not None:
        if header == 40:
            mask_block = struct.pack("<3I", *masks[:3])
        else:
            struct.pack_into("<3I", h, 40, *masks[:3])
            if header >= 56 and len(masks) > 3:
                struct.pack_into("<I", h, 52, masks[3])
    if header >= 108:
        struct.pack_into("<I", h, 56, cs_type)
    table = bytes((i * 37 + k) & 0xFF for i in range(palette) for k in (1, 2, 3, 0))
    pixels = bytes((i * 13 + 5) & 0xFF for i in range(pixel_bytes))
    out = bytes(h) + mask_block + table + pixels
    if header >= 124 and profile is not None:
        offset, size, data = profile
        if offset is None:
            offset = len(out)
        h2 = bytearray(out)
        struct.pack_into("<II", h2, 112, offset, size)
        out = bytes(h2) + data
    out = out + extra
    return out[:len(out) - cut] if cut else out


def bmp(block, off_bits=None, magic=b"BM", file_size=None, cut=0):
    """A BMP file around a packed DIB whose header block is the DIB's header, masks and table."""
    if off_bits is None:
        off_bits = 14 + header_block_size(block)
    if file_size is None:
        file_size = 14 + len(block)
    out = magic + struct.pack("<IHHI", file_size & 0xFFFFFFFF, 0, 0, off_bits & 0xFFFFFFFF) + block
    return out[:len(out) - cut] if cut else out


def header_block_size(block):
    if len(block) < 36:
        return len(block)
    header, bits, compression, clr_used = (struct.unpack_from("<I", block, 0)[0],
                                           struct.unpack_from("<H", block, 14)[0],
                                           struct.unpack_from("<I", block, 16)[0],
                                           struct.unpack_from("<I", block, 32)[0])
    masks = 12 if compression == BI_BITFIELDS and header == 40 else 0
    palette = (1 << bits if clr_used == 0 else clr_used) if bits <= 8 else clr_used
    return header + masks + 4 * palette


VALID_DIBS = {
    "bpp1": dib(width=9, height=2, bits=1),
    "bpp4": dib(width=5, height=3, bits=4),
    "bpp8": dib(width=4, height=3, bits=8),
    "bpp8_short_palette": dib(width=3, height=2, bits=8, clr_used=16),
    "bpp8_block_longer": dib(width=3, height=2, bits=8, extra=b"\xAA" * 9),
    "bpp16_rgb555": dib(width=3, height=2, bits=16),
    "bpp16_bitfields565": dib(width=3, height=2, bits=16, compression=BI_BITFIELDS),
    "bpp24_padded": dib(width=3, height=3, bits=24),
    "bpp24_optional_palette": dib(width=2, height=2, bits=24, clr_used=2),
    "bpp32": dib(width=2, height=2, bits=32),
    "bpp32_bitfields": dib(width=2, height=2, bits=32, compression=BI_BITFIELDS),
    "bpp24_top_down": dib(width=3, height=-2, bits=24),
    "v2_bitfields16": dib(width=2, height=2, bits=16, header=52, compression=BI_BITFIELDS),
    "v3_bitfields32_alpha": dib(width=2, height=2, bits=32, header=56, compression=BI_BITFIELDS,
                                masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
    "v4_bpp24": dib(width=3, height=2, bits=24, header=108),
    "v5_bpp32_srgb": dib(width=2, height=2, bits=32, header=124, compression=BI_BITFIELDS,
                         masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
    "v5_bpp8": dib(width=4, height=2, bits=8, header=124, clr_used=4),
    "v5_embedded_profile": dib(width=2, height=2, bits=24, header=124, cs_type=PROFILE_EMBEDDED,
                               profile=(None, 16, b"profile-bytes-16")),
    "v5_linked_profile": dib(width=2, height=2, bits=24, header=124, cs_type=PROFILE_LINKED,
                             profile=(None, 11, b"C:\\a\\b.icm\0")),
    "stored_size_wrong": dib(width=2, height=2, bits=24, size_image=0xFFFFFFFF),
}

MALFORMED_DIBS = {
    # dimensions
    "zero_width": dib(width=0, height=2, bits=24, pixel_bytes=16),
    "zero_height": dib(width=2, height=0, bits=24, pixel_bytes=16),
    "negative_width": dib(width=-2, height=2, bits=24),
    "height_int32_min": dib(width=1, height=-0x80000000, bits=24, pixel_bytes=16),
    "height_most_negative_valid": dib(width=1, height=-0x7FFFFFFF, bits=24, pixel_bytes=16),
    "width_int32_max": dib(width=0x7FFFFFFF, height=1, bits=32, pixel_bytes=16),
    "width_times_height_overflow32": dib(width=0x10000, height=0x10000, bits=32, pixel_bytes=16),
    "width_times_height_overflow64": dib(width=0x7FFFFFFF, height=0x7FFFFFFF, bits=32,
                                         pixel_bytes=16),
    "stride_overflow32": dib(width=0x40000001, height=1, bits=32, pixel_bytes=16),
    "pixel_bytes_over_limit": dib(width=0x4000000, height=5, bits=32, pixel_bytes=16),
    "pixels_at_limit_truncated": dib(width=0x10000000, height=1, bits=32, pixel_bytes=16),
    # palette
    "palette_past_data": dib(width=2, height=2, bits=8, clr_used=256, pixel_bytes=0, cut=512),
    "palette_count_huge": dib(width=2, height=2, bits=8, clr_used=0xFFFFFFFF, palette=4),
    "palette_count_over_bits": dib(width=2, height=2, bits=1, clr_used=3),
    "palette_over_256_at_24": dib(width=2, height=2, bits=24, clr_used=257, palette=2),
    "palette_full_missing": dib(width=2, height=2, bits=4, palette=0),
    "palette_count_wraps32": dib(width=2, height=2, bits=24, clr_used=0x40000001, palette=1),
    # bit fields
    "bitfields_at_8": dib(width=2, height=2, bits=8, compression=BI_BITFIELDS,
                          masks=(0xE0, 0x1C, 0x03)),
    "bitfields_at_24": dib(width=2, height=2, bits=24, compression=BI_BITFIELDS),
    "bitfields_overlap": dib(width=2, height=2, bits=16, compression=BI_BITFIELDS,
                             masks=(0xFC00, 0x07E0, 0x001F)),
    "bitfields_gap": dib(width=2, height=2, bits=16, compression=BI_BITFIELDS,
                         masks=(0xF00F, 0x0FE0, 0x0010)),
    "bitfields_zero": dib(width=2, height=2, bits=32, compression=BI_BITFIELDS,
                          masks=(0, 0xFF00, 0xFF)),
    "bitfields_past_16_bits": dib(width=2, height=2, bits=16, compression=BI_BITFIELDS,
                                  masks=(0xFF0000, 0xFF00, 0xFF)),
    "bitfields_masks_truncated": dib(width=2, height=2, bits=16, compression=BI_BITFIELDS,
                                     pixel_bytes=0, cut=6),
    "alphabitfields": dib(width=2, height=2, bits=32, compression=BI_ALPHABITFIELDS),
    # compression, planes, bit counts
    "rle8": dib(width=4, height=2, bits=8, compression=BI_RLE8, pixel_bytes=6),
    "rle4": dib(width=4, height=2, bits=4, compression=BI_RLE4, pixel_bytes=6),
    "jpeg": dib(width=4, height=2, bits=0, compression=BI_JPEG, pixel_bytes=4, palette=0,
                extra=b"\xFF\xD8\xFF\xD9"),
    "png": dib(width=4, height=2, bits=0, compression=BI_PNG, pixel_bytes=8, palette=0),
    "compression_huge": dib(width=2, height=2, bits=24, compression=0xFFFFFFFF),
    "planes_zero": dib(width=2, height=2, bits=24, planes=0),
    "planes_two": dib(width=2, height=2, bits=24, planes=2),
    "bitcount_zero": dib(width=2, height=2, bits=0, palette=0, pixel_bytes=8),
    "bitcount_two": dib(width=2, height=2, bits=2),
    "bitcount_64": dib(width=2, height=2, bits=64, palette=0),
    # header and truncation
    "truncated_pixels": dib(width=3, height=3, bits=24, cut=1),
    "truncated_last_row": dib(width=5, height=4, bits=8, cut=8),
    "truncated_header": dib(width=2, height=2, bits=24)[:39],
    "header_size_only": struct.pack("<I", 40),
    "empty": b"",
    "core_header": struct.pack("<IHHHH", 12, 2, 2, 1, 24) + bytes(16),
    "os2_v2_header": dib(width=2, height=2, bits=24, header=64),
    "header_size_huge": struct.pack("<I", 0xFFFFFFFF) + bytes(60),
    "v5_header_truncated": dib(width=2, height=2, bits=24, header=124)[:100],
    "v5_profile_past_end": dib(width=2, height=2, bits=24, header=124,
                               cs_type=PROFILE_EMBEDDED, profile=(None, 64, b"short")),
    "v5_profile_offset_wraps": dib(width=2, height=2, bits=24, header=124,
                                   cs_type=PROFILE_EMBEDDED,
                                   profile=(0xFFFFFFF0, 0x20, b"x" * 16)),
}


def profile_get(buffer_size, section, key, file):
    return bytes([buffer_size]) + section + b"\0" + key + b"\0" + file


def profile_set(section, key, value, file):
    return section + b"\0" + key + b"\0" + value + b"\0" + file


K42 = b"42\xB2\xDD\xC1"  # 42ｲﾝﾁ in code page 932
DEFAULT_INI = b"[DISP]\r\nDSIZE=" + K42 + b"\r\n[PRINTER]\r\nPSIZE=A4\r\nPAGE=1\r\n"
DEFAULT_TEXT = "[DISP]\r\nDSIZE=42\uff72\uff9d\uff81\r\n[PRINTER]\r\nPSIZE=A4\r\nPAGE=1\r\n"
SO = b"\x83\x5C"  # a double-byte character whose second byte is '\'
ZO = b"\x83\x5D"  # a double-byte character whose second byte is ']'

PROFILE_FILES = {
    "default": DEFAULT_INI,
    "lf_only": DEFAULT_INI.replace(b"\r\n", b"\n"),
    "utf8_bom": b"\xEF\xBB\xBF" + DEFAULT_INI,
    "no_final_line_end": b"[PRINTER]\r\nPAGE=3",
    "trailing_cr": b"[PRINTER]\r\nPAGE=3\r\r",
    "blanks_and_quotes": b" [ printer ] \r\n\tpage \t=  \" 2 \" \r\nPSIZE='B5'\r\n",
    "comments_and_blank_lines": b"; top\r\n\r\n[PRINTER]\r\n; note\r\nPAGE=2\r\n\r\n; end\r\n",
    "duplicate_section_and_key": b"[PRINTER]\r\nPAGE=1\r\nPAGE=2\r\n[printer]\r\nPAGE=3\r\n",
    "key_without_equals": b"[PRINTER]\r\nPAGE\r\nPSIZE=A3\r\n",
    "unclosed_section": b"[PRINTER\r\nPAGE=4\r\n[PRINTER]\r\nPAGE=5\r\n",
    "double_byte_bracket": b"[" + ZO + b"]\r\nK=1\r\n[" + ZO + b"X]\r\nK=2\r\n",
    "double_byte_key": b"[DISP]\r\n" + SO + b"=" + K42 + b"\r\n",
    "nul_in_value": b"[PRINTER]\r\nPAGE=1\x002\r\n",
    "lone_lead_byte_at_end": b"[PRINTER]\r\nPSIZE=A4\x83",
    "long_value": b"[PRINTER]\r\nPSIZE=" + b"\x82\xA0" * 300 + b"\r\n",
    "equals_in_value": b"[PRINTER]\r\nPSIZE=a=b\r\n",
    "empty": b"",
    "next_section_without_key": b"[PRINTER]\r\nPSIZE=A4\r\n[DISP]\r\nPAGE=9\r\n",
    "lone_lead_byte_before_bracket": b"[A\x83]\r\nPAGE=1\r\n[A\x83]]\r\nPAGE=2\r\n",
    "lone_cr": DEFAULT_INI.replace(b"\r\n", b"\r"),
    "mixed_line_ends": b"[PRINTER]\rPSIZE=A4\nPAGE=2\r\r\nX=1",
    # Saved by other editors: Notepad's "Unicode" in either byte order, UTF-8 with its mark.
    "utf16le": ("\ufeff" + DEFAULT_TEXT).encode("utf-16-le"),
    "utf16be": ("\ufeff" + DEFAULT_TEXT).encode("utf-16-be"),
    "utf16_mark_only": b"\xFF\xFE",
    "utf16_odd_length": ("\ufeff[PRINTER]\r\nPAGE=1").encode("utf-16-le") + b"\x32",
    "utf16_surrogates": ("\ufeff[PRINTER]\r\nPAGE=\U0001F5A8\ud800x\r\n").encode(
        "utf-16-le", "surrogatepass"),
    "utf8_values": b"\xEF\xBB\xBF" + DEFAULT_TEXT.encode("utf-8"),
    "utf8_mark_only": b"\xEF\xBB\xBF",
    "utf8_broken": b"\xEF\xBB\xBF[PRINTER]\r\nPAGE=\xE3\x81\r\n[\xE3]\r\n",
}


def profile_get_seeds():
    seeds = {}
    for name, file in PROFILE_FILES.items():
        seeds[name] = profile_get(0xFF, b"PRINTER", b"PAGE", file)
    seeds["dsize"] = profile_get(0xFF, b"DISP", b"DSIZE", DEFAULT_INI)
    seeds["cut_inside_double_byte"] = profile_get(5, b"DISP", b"DSIZE", DEFAULT_INI)
    seeds["buffer_two"] = profile_get(2, b"PRINTER", b"PSIZE", DEFAULT_INI)
    seeds["buffer_one"] = profile_get(1, b"PRINTER", b"PSIZE", DEFAULT_INI)
    seeds["buffer_zero"] = profile_get(0, b"PRINTER", b"PSIZE", DEFAULT_INI)
    seeds["long_value_cut"] = profile_get(0xFF, b"PRINTER", b"PSIZE", PROFILE_FILES["long_value"])
    seeds["double_byte_section"] = profile_get(0xFF, ZO, b"K", PROFILE_FILES["double_byte_bracket"])
    seeds["double_byte_key"] = profile_get(0xFF, b"disp", SO, PROFILE_FILES["double_byte_key"])
    return seeds


def profile_set_seeds():
    seeds = {}
    for name, file in PROFILE_FILES.items():
        seeds[name] = profile_set(b"PRINTER", b"PAGE", b"7", file)
    seeds["new_key"] = profile_set(b"PRINTER", b"COPIES", b"2", DEFAULT_INI)
    seeds["new_section"] = profile_set(b"OTHER", b"X", b"1", DEFAULT_INI)
    seeds["new_section_unterminated"] = profile_set(b"OTHER", b"X", b"1", b"[A]\r\nB=1")
    seeds["value_with_line_break"] = profile_set(b"PRINTER", b"PAGE", b"3\r\n[EVIL]", DEFAULT_INI)
    seeds["double_byte_value"] = profile_set(b"DISP", b"DSIZE", b"65\xB2\xDD\xC1", DEFAULT_INI)
    seeds["quoted_value"] = profile_set(b"PRINTER", b"PSIZE", b"\"B4\"", DEFAULT_INI)
    seeds["blank_value"] = profile_set(b"PRINTER", b"PSIZE", b"", DEFAULT_INI)
    seeds["key_after_comment"] = profile_set(b"PRINTER", b"PSIZE", b"B5",
                                             PROFILE_FILES["comments_and_blank_lines"])
    return seeds


def utf16(text):
    return text.encode("utf-16-le")


COPIES = {
    "one": "1", "half_even": "2.5", "half_odd": "3.5", "negative": "-1", "hex": "&H10",
    "hex_ffff": "&HFFFF", "octal": "&O17", "exponent": "1E1", "exponent_d": "1D1",
    "exponent_empty": "1e", "exponent_negative": "25E-1", "blanks_inside": " 1 2",
    "line_feed_inside": "1\n2", "carriage_return_stops": "1\r2", "max": "32767",
    "max_half": "32767.5", "min_half": "-32768.5", "overflow": "1E309",
    "underflow": "1E-400", "full_width_digit": "\uff19", "empty": "", "letters": "abc",
    "long_digits": "9" * 400, "long_fraction": "0." + "0" * 380 + "1", "point_first": ".5",
    "two_points": "1.2.3", "signed_hex": "-&H10", "ampersand_only": "&", "two_signs": "+-1",
    "exponent_huge": "1E99999999999999999999", "text_after": "3 copies",
    "hex_saturates": "&H" + "F" * 300, "octal_lower": "&o777", "hex_lower": "&hff",
    "exponent_plus_lower_d": "1d+2", "tab_and_leading_zeros": "\t0001", "zeros_only": "0.000",
    "rounds_up": "2.6", "negative_half": "-2.5",
}

TEMPFILES = {
    "ours": "240131235959.BMP", "ours_lower": "000101000000.bmp", "users": "photo.bmp",
    "eleven_digits": "24013123595.BMP", "full_width_digit": "24013123595\uff19.BMP",
    "no_extension": "240131235959", "other_extension": "240131235959.BMX",
    "long_enough_for_clock": "\0" * 12 + "991231235959.BmP",
    "users_date": "202405061230.bmp", "month_13": "241331235959.bmp",
}


def png(width, height, colour_type=2, cut=0, bad_crc=False, extra=b""):
    channels = {0: 1, 2: 3, 4: 2, 6: 4}[colour_type]
    raw = b"".join(b"\0" + bytes((x * 40 + y * 7) % 256 for x in range(width * channels))
                   for y in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    data = (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)) +
            extra + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
    if bad_crc:
        data = data[:-5] + bytes([data[-5] ^ 1]) + data[-4:]
    return data[:len(data) - cut]


def alpha_v5(width, height):
    """A top-down V5 DIB, 32 bits with bit fields and an alpha mask; alpha runs 0 to 255."""
    header = struct.pack("<IiiHHIIiiIIIIII", 124, width, -height, 1, 32, BI_BITFIELDS,
                         width * height * 4, 0, 0, 0, 0, 0x00FF0000, 0x0000FF00, 0x000000FF,
                         0xFF000000)
    header += b"BGRs" + bytes(124 - len(header) - 4)
    pixels = bytes(v for i in range(width * height) for v in (i * 9 % 256, 40, 200, i * 37 % 256))
    return header + pixels


def picture_seeds(dibs):
    seeds = {"png_" + name: b"\0" + data for name, data in {
        "rgb": png(5, 4), "rgba": png(3, 3, 6), "grey": png(4, 2, 0),
        "trns": png(2, 2, extra=b"\0\0\0\x06tRNS\0\0\0\0\0\0" + b"\0" * 4),
        "cut": png(5, 4, cut=7), "bad_crc": png(5, 4, bad_crc=True),
        "huge": png(1, 1)[:16] + struct.pack(">II", 100000, 100000) + png(1, 1)[24:],
    }.items()}
    sizes = [(7, 5), (1, 1), (64, 3), (33, 40)]
    for i, (name, data) in enumerate(sorted(dibs.items())):
        w, h = sizes[i % len(sizes)]
        seeds["dib_" + name] = bytes((1, w - 1, h - 1)) + data
    seeds["dib_alpha_v5"] = bytes((1, 2, 1)) + alpha_v5(6, 4)
    return seeds


def write(fuzzer, seeds):
    folder = os.path.join(CORPUS, fuzzer)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in sorted(seeds.items()):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    dibs = dict(VALID_DIBS)
    dibs.update(MALFORMED_DIBS)
    write("fuzz_dib_validate", dibs)

    files = {name: bmp(block) for name, block in dibs.items()}
    v = VALID_DIBS["bpp24_padded"]
    files.update({
        "file_not_bm": bmp(v, magic=b"BA"),
        "file_offset_inside_headers": bmp(v, off_bits=14 + 39),
        "file_offset_zero": bmp(v, off_bits=0),
        "file_offset_past_end": bmp(v, off_bits=14 + len(v) + 1),
        "file_offset_huge": bmp(v, off_bits=0xFFFFFFFF),
        "file_offset_gap": bmp(v[:40] + b"\0" * 6 + v[40:], off_bits=14 + 46),
        "file_pixels_short_after_gap": bmp(v[:40] + b"\0" * 6 + v[40:], off_bits=14 + 47),
        "file_size_zero": bmp(v, file_size=0),
        "file_size_huge": bmp(v, file_size=0xFFFFFFFF),
        "file_header_only": bmp(b""),
        "file_too_small": b"BM" + bytes(8),
        "file_palette_pixels_overlap": bmp(VALID_DIBS["bpp8"], off_bits=14 + 40 + 512),
    })
    write("fuzz_bmp_file", files)

    write("fuzz_picture", picture_seeds(dibs))

    write("fuzz_profile_get", profile_get_seeds())
    write("fuzz_profile_set", profile_set_seeds())
    write("fuzz_copies", {name: utf16(text) for name, text in COPIES.items()})
    write("fuzz_tempfiles", {name: utf16(text) for name, text in TEMPFILES.items()})


if __name__ == "__main__":
    main()
