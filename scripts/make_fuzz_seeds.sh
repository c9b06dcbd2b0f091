#!/usr/bin/env bash
# Builds the seed corpora for the fuzz targets, one folder per target under OUT_DIR.
# Usage: scripts/make_fuzz_seeds.sh OUT_DIR [BUILD_DIR]
# Every seed is made here: short synthetic WAV files from sox, MP3 files from lame, tags
# from python3-mutagen or put together byte by byte, and VQF files from our own
# tembrel-cli (taken from BUILD_DIR, default build-fuzz/; without it the VQF seeds are
# left out). Seeds stay small (a few KB to some tens of KB) so that the fuzzer can
# mutate whole files; scripts/fuzz.sh caps inputs with -max_len to match.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: make_fuzz_seeds.sh OUT_DIR [BUILD_DIR]}
build=${2:-$root/build-fuzz}
python=/usr/bin/python3
cli=$build/cli/tembrel-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wav=$out/wav_source_fuzz
mp3=$out/mp3_source_fuzz
tags=$out/song_tags_fuzz
vqf=$out/vqf_source_fuzz
header=$out/vqf_header_fuzz
rm -rf "$wav" "$mp3" "$tags" "$vqf" "$header"
mkdir -p "$wav" "$mp3" "$tags" "$vqf" "$header"

# --- WAV: sample formats the source takes and some it refuses -------------------------
tone() {  # tone OUT RATE CHANNELS BITS SECONDS [ENCODING]
    sox -q -n -r "$2" -c "$3" -b "$4" ${6:+-e "$6"} "$1" synth "$5" sine 440 sine 660 gain -6
}
tone "$wav/mono8_11k.wav" 11025 1 8 0.3
tone "$wav/stereo16_22k.wav" 22050 2 16 0.15
tone "$wav/mono16_44k.wav" 44100 1 16 0.15
tone "$wav/stereo16_8k.wav" 8000 2 16 0.3
tone "$wav/mono24_44k.wav" 44100 1 24 0.05
tone "$wav/float32_22k.wav" 22050 1 32 0.05 floating-point
tone "$wav/alaw_8k.wav" 8000 1 8 0.2 a-law

# Chunk layouts written by hand: a RIFF INFO list, chunks before "fmt ", an odd-sized
# chunk with its pad byte, a WAVE_FORMAT_EXTENSIBLE header and sizes left unfixed.
"$python" - "$wav" "$tags" <<'EOF'
import struct, sys, os
wav_dir, tag_dir = sys.argv[1], sys.argv[2]

def chunk(cid, body):
    pad = b"\0" if len(body) % 2 else b""
    return cid + struct.pack("<I", len(body)) + body + pad

def fmt(channels=1, rate=11025, bits=16, tag=1, extra=b""):
    align = channels * bits // 8
    body = struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)
    if extra:
        body += struct.pack("<H", len(extra)) + extra
    return chunk(b"fmt ", body)

pcm = bytes((i * 37) & 0xFF for i in range(2000))
info = chunk(b"LIST", b"INFO" + chunk(b"INAM", b"Seed title\0") + chunk(b"IART", b"Tembrel\0")
             + chunk(b"ICMT", b"odd\0\0") + chunk(b"ISFT", b"make_fuzz_seeds\0"))

def riff(*chunks, size=None):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body) if size is None else size) + body

files = {
    "info_list.wav": riff(fmt(), info, chunk(b"data", pcm)),
    "chunks_first.wav": riff(chunk(b"fact", struct.pack("<I", 1000)), chunk(b"JUNK", b"\0" * 7),
                             fmt(2, 22050), chunk(b"data", pcm)),
    "odd_data.wav": riff(fmt(1, 8000, 8), chunk(b"data", pcm[:1001]), info),
    "extensible.wav": riff(fmt(2, 44100, 16, 0xFFFE, struct.pack("<HI", 16, 3) + b"\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71"),
                           chunk(b"data", pcm)),
    "unfixed_sizes.wav": riff(fmt(), b"data" + struct.pack("<I", 0xFFFFFFFF) + pcm, size=0xFFFFFFFF),
}
for name, data in files.items():
    with open(os.path.join(wav_dir, name), "wb") as f:
        f.write(data)
# The same lists serve the tag reader, with what today's taggers write: UTF-8 in INFO,
# an ID3v2 tag in an "id3 " chunk.
with open(os.path.join(tag_dir, "riff_info.wav"), "wb") as f:
    f.write(files["info_list.wav"])
utf8_info = chunk(b"LIST", b"INFO" + chunk(b"INAM", "\u96e8\u306e\u6b4c\0".encode("utf-8")))
id3_frames = b"".join(fid + struct.pack(">I", len(b"\0" + text)) + b"\0\0" + b"\0" + text
                      for fid, text in ((b"TIT2", b"ID3 title"), (b"TCON", b"(9)Metal"),
                                        (b"TDRC", b"2003-04-05T10:00")))
id3_tag = b"ID3\x03\x00\x00" + bytes([0, 0, len(id3_frames) >> 7, len(id3_frames) & 0x7F]) + id3_frames
with open(os.path.join(tag_dir, "id3_chunk_utf8_info.wav"), "wb") as f:
    f.write(riff(fmt(), chunk(b"data", pcm[:200]), utf8_info, chunk(b"id3 ", id3_tag)))
EOF

# --- MP3: lame at several rates and modes, VBR with its information frame -------------
tone "$work/s44.wav" 44100 2 16 0.4
tone "$work/m22.wav" 22050 1 16 0.5
tone "$work/m8.wav" 8000 1 16 0.8
lame --quiet --noreplaygain -b 128 "$work/s44.wav" "$mp3/cbr128_44k_stereo.mp3"
lame --quiet --noreplaygain -b 32 -m j "$work/s44.wav" "$mp3/cbr32_44k_joint.mp3"
lame --quiet --noreplaygain -V 6 "$work/s44.wav" "$mp3/vbr_44k.mp3"
lame --quiet --noreplaygain -b 24 "$work/m22.wav" "$mp3/mpeg2_22k_mono.mp3"
lame --quiet --noreplaygain -b 8 "$work/m8.wav" "$mp3/mpeg25_8k_mono.mp3"
lame --quiet --noreplaygain -t -b 64 "$work/m22.wav" "$mp3/no_info_frame.mp3"
lame --quiet --noreplaygain --abr 40 --resample 11.025 "$work/m22.wav" "$mp3/abr_11k.mp3"

# Tags on MP3 files (mutagen), a hand-made ID3v2.2 tag, and RIFF "RMP3" wrappers.
"$python" - "$mp3" "$tags" <<'EOF'
import os, shutil, struct, sys
from mutagen.id3 import (APIC, COMM, ID3, TALB, TCOM, TCON, TDRC, TIT2, TPE1, TRCK, TXXX, WXXX,
                         Encoding, PictureType)
mp3_dir, tag_dir = sys.argv[1], sys.argv[2]
base = os.path.join(mp3_dir, "mpeg2_22k_mono.mp3")
audio = open(base, "rb").read()

def tagged(name, version, encoding, v1):
    path = os.path.join(tag_dir, name)
    shutil.copy(base, path)
    t = ID3()
    wide = encoding != Encoding.LATIN1  # Latin-1 frames hold no CJK text
    t.add(TIT2(encoding=encoding, text="Seed title \u2460" if wide else "Seed title \u00e9"))
    t.add(TPE1(encoding=encoding, text="\u6b4c\u624b" if wide else "Artist"))
    t.add(TALB(encoding=encoding, text="Album"))
    t.add(TRCK(encoding=encoding, text="3/10"))
    t.add(TDRC(encoding=encoding, text="1999"))
    t.add(TCON(encoding=encoding, text="(17)Rock"))
    t.add(TCOM(encoding=encoding, text="Composer"))
    t.add(COMM(encoding=encoding, lang="eng", desc="", text="comment"))
    t.add(TXXX(encoding=encoding, desc="note", text="x"))
    t.add(WXXX(encoding=encoding, desc="", url="http://example.invalid/"))
    t.add(APIC(encoding=encoding, mime="image/png", type=PictureType.COVER_FRONT, desc="c",
               data=bytes(range(64))))
    t.save(path, v2_version=version, v1=v1)
    return path

tagged("v23_utf16.mp3", 3, Encoding.UTF16, 0)
tagged("v24_utf8.mp3", 4, Encoding.UTF8, 0)
tagged("v24_utf16be_v1.mp3", 4, Encoding.UTF16BE, 2)
p = tagged("v23_latin1_v1.mp3", 3, Encoding.LATIN1, 2)
shutil.copy(p, os.path.join(mp3_dir, "tagged_v23_v1.mp3"))
shutil.copy(os.path.join(tag_dir, "v24_utf8.mp3"), os.path.join(mp3_dir, "tagged_v24.mp3"))

# ID3v1.1 alone, with a track number and a genre byte.
v1 = b"TAG" + b"Title".ljust(30, b"\0") + b"Artist".ljust(30, b"\0") + b"Album".ljust(30, b"\0") \
     + b"2001" + b"Comment".ljust(28, b"\0") + b"\0\x07" + b"\x11"
with open(os.path.join(tag_dir, "v11_only.mp3"), "wb") as f:
    f.write(audio[:1500] + v1)

# ID3v2.2 with three-letter frames, and ID3v2.3 with unsynchronisation and an extended header.
def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])
def frame22(fid, text):
    body = b"\0" + text
    return fid + len(body).to_bytes(3, "big") + body
body = frame22(b"TT2", b"Two two") + frame22(b"TP1", b"Artist") + frame22(b"TAL", b"Album") \
       + frame22(b"TYE", b"1998") + frame22(b"COM", b"eng\0comment")
with open(os.path.join(tag_dir, "v22.mp3"), "wb") as f:
    f.write(b"ID3\x02\x00\x00" + syncsafe(len(body) + 10) + body + b"\0" * 10 + audio[:1500])
frame = b"TIT2" + struct.pack(">I", 6) + b"\0\0" + b"\0\xff\xe0ab"
ext = struct.pack(">IH", 6, 0) + struct.pack(">I", 0)
body = ext + frame
unsync = body.replace(b"\xff", b"\xff\x00")
with open(os.path.join(tag_dir, "v23_unsync_ext.mp3"), "wb") as f:
    f.write(b"ID3\x03\x00\xc0" + syncsafe(len(unsync)) + unsync + audio[:1500])

# RIFF "RMP3": the MP3 frames in a "data" chunk, with an INFO list behind it.
def chunk(cid, b):
    return cid + struct.pack("<I", len(b)) + b + (b"\0" if len(b) % 2 else b"")
info = chunk(b"LIST", b"INFO" + chunk(b"INAM", b"Wrapped\0") + chunk(b"IART", b"Tembrel\0"))
for name, src in (("wrapped_22k.rmp", base),
                  ("wrapped_44k.rmp", os.path.join(mp3_dir, "cbr32_44k_joint.mp3"))):
    frames = open(src, "rb").read()
    body = b"RMP3" + chunk(b"data", frames) + info
    data = b"RIFF" + struct.pack("<I", len(body)) + body
    with open(os.path.join(mp3_dir, name), "wb") as f:
        f.write(data)
    shutil.copy(os.path.join(mp3_dir, name), os.path.join(tag_dir, name))
# MPEG frames in a WAVE file with format tag 0x55, as stream copiers write them.
frames = open(base, "rb").read()
fmt55 = chunk(b"fmt ", struct.pack("<HHIIHHHHIHHH", 0x55, 1, 22050, 3000, 1, 0, 12, 1, 2, 78, 1, 0))
body = b"WAVE" + fmt55 + chunk(b"data", frames) + info
with open(os.path.join(mp3_dir, "mpeg_in_wave.wav"), "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", len(body)) + body)
EOF

# --- Text: the same words as CP932, UTF-8 and UTF-16 with and without a byte-order mark.
text=$out/text_encoding_fuzz
rm -rf "$text"
mkdir -p "$text"
"$python" - "$text" <<'EOF'
import os, sys
out = sys.argv[1]
words = "Tembrel \u65e5\u672c\u8a9e\u30c6\u30ad\u30b9\u30c8\u2460\uff5e\uff76\uff85 \u6b4c\u624b"
seeds = {
    "cp932.txt": words.encode("cp932"),
    "utf8.txt": words.encode("utf-8"),
    "utf16le_bom.txt": b"\xff\xfe" + words.encode("utf-16-le"),
    "utf16be.txt": words.encode("utf-16-be"),
    "surrogates.txt": "\U0001f3b5 song".encode("utf-16-le") + b"\x00\xd8",
    "vendor.txt": "\u2252\u2261\u222b\u222e\u2211\u221a\u22a5\u2220\u221f\u22bf".encode("cp932"),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(bytes([12]) + data)  # the first byte is the fit limit the target uses
EOF

# --- VQF header bodies put together by hand: every kind of sub-chunk the reader meets,
# a nested "SCND" container, and sizes at their limits.
"$python" - "$header" <<'EOF'
import os, struct, sys
out = sys.argv[1]
def chunk(cid, body):
    return cid + struct.pack(">I", len(body)) + body
comm = chunk(b"COMM", struct.pack(">IIII", 1, 48, 44, 0))
texts = b"".join(chunk(cid, b"text " + cid) for cid in
                 (b"NAME", b"AUTH", b"COMT", b"(c) ", b"FILE", b"ALBM"))
scnd = chunk(b"SCND", chunk(b"NAME", b"inner") + chunk(b"LYRC", b"la la"))
values = chunk(b"TRAC", struct.pack(">I", 7)) + chunk(b"YEAR", b"1999") + \
         chunk(b"ENCD", b"\x07\xcf\x0c\x1f") + chunk(b"DSIZ", struct.pack(">I", 123456))
bodies = {
    "all_kinds.bin": comm + texts + values + scnd,
    "scnd_first.bin": scnd + comm,
    "empty_texts.bin": comm + chunk(b"NAME", b"") + chunk(b"AUTH", b""),
    "short_comm.bin": chunk(b"COMM", struct.pack(">II", 0, 8)) + texts,
    "size_past_end.bin": comm + b"NAME" + struct.pack(">I", 0x7FFFFFFF) + b"abc",
}
for name, body in bodies.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(body)
EOF

# --- VQF: our own encoder at each sampling rate and channel count ---------------------
if [ -x "$cli" ]; then
    tone "$work/v_m11.wav" 11025 1 16 0.6
    tone "$work/v_s11.wav" 11025 2 16 0.4
    tone "$work/v_m22.wav" 22050 1 16 0.4
    tone "$work/v_s22.wav" 22050 2 16 0.3
    tone "$work/v_m44.wav" 44100 1 16 0.3
    tone "$work/v_s44.wav" 44100 2 16 0.2
    tone "$work/v_m8.wav" 8000 1 16 0.6
    # A tagged WAV carries a title, artist and comment into the VQF header.
    cp "$wav/info_list.wav" "$work/v_info.wav"
    ASAN_OPTIONS=detect_leaks=0 "$cli" encode -q --no-sound --mono-11k 8 --stereo-22k 64 \
        --mono-44k 48 --stereo-44k 80 "$work"/v_*.wav >/dev/null 2>&1 || true
    for f in "$work"/v_*.vqf; do
        [ -e "$f" ] && cp "$f" "$vqf/$(basename "$f" | sed 's/^v_//')"
    done
    # The header body of each file (after "TWIN", the version and the size) is what the
    # header target takes.
    "$python" - "$vqf" "$header" <<'EOF'
import os, struct, sys
src, dst = sys.argv[1], sys.argv[2]
for name in sorted(os.listdir(src)):
    data = open(os.path.join(src, name), "rb").read()
    if len(data) < 16:
        continue
    size = struct.unpack(">I", data[12:16])[0]
    with open(os.path.join(dst, name.replace(".vqf", ".bin")), "wb") as f:
        f.write(data[16:16 + size])
EOF
else
    echo "make_fuzz_seeds: no $cli, VQF seeds left out" >&2
fi

# --- Tag editor: two bytes choosing the edits, then a whole VQF file: our encoder's
# files and headers put together by hand (texts before COMM, duplicates, a long comment,
# CP932 bytes that do not round-trip, no COMM, sizes that disagree).
tagedit=$out/tag_edit_fuzz
rm -rf "$tagedit"
mkdir -p "$tagedit"
"$python" - "$vqf" "$tagedit" <<'EOF'
import os, struct, sys
src, dst = sys.argv[1], sys.argv[2]
def chunk(cid, body):
    return cid + struct.pack(">I", len(body)) + body
def vqf(body, frames=bytes(range(256)) * 4):
    return b"TWIN97012000" + struct.pack(">I", len(body)) + body + b"DATA" + frames
comm = chunk(b"COMM", struct.pack(">IIII", 0, 32, 22, 0))
scnd = chunk(b"SCND", chunk(b"NAME", b"inner") + chunk(b"AUTH", b"x"))
files = {
    "texts_first.vqf": vqf(chunk(b"NAME", b"early") + chunk(b"DSIZ", b"\0\0\1\0") + comm +
                           chunk(b"TRAC", b"7") + chunk(b"YEAR", b"2003") + scnd),
    "duplicates.vqf": vqf(comm + chunk(b"NAME", b"1") + chunk(b"AUTH", b"a") +
                          chunk(b"NAME", b"2") + chunk(b"COMM", b"second")),
    "long_comment.vqf": vqf(comm + chunk(b"COMT", b"c" * 100 + b"\0" + b"c" * 1899)),
    "cp932_bytes.vqf": vqf(comm + chunk(b"AUTH", b"\xed\x40\x87\x40\x80") +
                           chunk(b"(c) ", b"\xfa\x5c")),
    "no_comm.vqf": vqf(chunk(b"NAME", b"x") + chunk(b"TRAC", b"1")),
    "sizes_disagree.vqf": vqf(comm + chunk(b"NAME", b"x") + chunk(b"AUTH", b"\0" * 8), b"")[:-12]
                          + b"DATA" + bytes(64),
}
for name, data in files.items():
    for edits in (b"\x00\x00", b"\x01\x00", b"\x3f\x02"):
        with open(os.path.join(dst, "%02x%02x_%s" % (edits[0], edits[1], name)), "wb") as f:
            f.write(edits + data)
# Our encoder's files: the title, author and file name edited.
for name in sorted(os.listdir(src)):
    with open(os.path.join(dst, "1501_" + name), "wb") as f:
        f.write(b"\x15\x01" + open(os.path.join(src, name), "rb").read())
EOF

# --- Rename logs: the hand-made ones kept as regressions, and the log our own
# tembrel-cli writes when it renames a small folder (Japanese and tab-bearing names, a
# subfolder, a file without a title) and undoes it.
renamelog=$out/rename_log_fuzz
rm -rf "$renamelog"
mkdir -p "$renamelog"
cp "$root"/fuzz/regressions/rename_log_fuzz/* "$renamelog/"
if [ -x "$cli" ]; then
    names=$work/names
    mkdir -p "$names/sub"
    "$python" - "$names" <<'EOF'
import os, sys
from mutagen.id3 import ID3, TALB, TIT2, TRCK, Encoding
folder = sys.argv[1]
for name, title, track in (("a.mp3", "雨", "1"), ("b\tc.mp3", "Snow", "2"),
                           ("sub/d.mp3", "～波①", "12"), ("e.mp3", "", "3")):
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(b"\xff\xfb\x90\x00" + bytes(400))
    tags = ID3()
    if title:
        tags.add(TIT2(encoding=Encoding.UTF16, text=title))
    tags.add(TALB(encoding=Encoding.UTF8, text="Album"))
    tags.add(TRCK(encoding=Encoding.UTF8, text=track))
    tags.save(path, v2_version=3)
EOF
    ASAN_OPTIONS=detect_leaks=0 "$cli" rename "$names" >/dev/null 2>&1 || true
    ASAN_OPTIONS=detect_leaks=0 "$cli" rename --undo "$names/tembrel-rename.log" \
        >/dev/null 2>&1 || true
    cp "$names/tembrel-rename.log" "$renamelog/written_by_cli.log" 2>/dev/null || true
fi

# --- FLAC and Ogg: sox, flac, oggenc and opusenc files with their comments; the comment
# mapping's lines (a field byte, then the text); format records with samples behind them.
sound=$out/sound_file_source_fuzz
vorbis=$out/vorbis_comments_fuzz
layout=$out/pcm_layout_fuzz
rm -rf "$sound" "$vorbis" "$layout"
mkdir -p "$sound" "$vorbis" "$layout"
tone "$work/f44.wav" 44100 2 16 0.1
tone "$work/f48.wav" 48000 1 24 0.1
tone "$work/f8.wav" 8000 1 8 0.2
flac -s -f -o "$sound/s16_44k.flac" "$work/f44.wav"
flac -s -f -o "$sound/m24_48k.flac" "$work/f48.wav"
flac -s -f -o "$sound/m8_8k.flac" "$work/f8.wav"
metaflac --set-tag="TITLE=題名 ①" --set-tag=ARTIST=Artist --set-tag=DATE=2003-04-05 \
    --set-tag=TRACKNUMBER=3/12 --set-tag=GENRE=Rock "$sound/s16_44k.flac"
oggenc -Q -o "$sound/vorbis_44k.ogg" -t "曲" -a "歌手" -N 7 -G Jazz "$work/f44.wav"
opusenc --quiet --title "オーパス" --comment TRACKNUMBER=2 "$work/f44.wav" "$sound/opus.opus"
sox -q -n -r 22050 -c 3 "$sound/three_channels.flac" synth 0.05 sine 300
# A FLAC file behind an ID3v2 tag.
"$python" - "$sound" <<'EOF'
import os, sys
from mutagen.id3 import ID3, TIT2, Encoding
d = sys.argv[1]
data = open(os.path.join(d, "m8_8k.flac"), "rb").read()
path = os.path.join(d, "id3_front.flac")
with open(path, "wb") as f:
    f.write(data)
tags = ID3()
tags.add(TIT2(encoding=Encoding.UTF8, text="front"))
tags.save(path, v2_version=3)
EOF
printf '\0Title \xe6\x9b\xb2\n\1Artist\n\3 2003-04-05\n\5 3/12\n\6Rock\n\7(C) x\n\0\xe2\x91\xa0\xf0\x9f\x8e\xb5\n\4cut \xe6\x9b' \
    > "$vorbis/fields.txt"
printf '\5\n\5-7\n\5 99999999999\n\3 20\n\3abcd\n\0\xff\xfe\n' > "$vorbis/edges.txt"
# Each WAV file's "fmt " chunk body with its "data" bytes behind it.
tone "$work/l_f32.wav" 22050 1 32 0.02 floating-point
tone "$work/l_f64.wav" 96000 2 64 0.01 floating-point
tone "$work/l_s32.wav" 48000 2 32 0.01
"$python" - "$layout" "$work"/l_*.wav "$wav/mono24_44k.wav" "$wav/extensible.wav" \
    "$wav/mono8_11k.wav" <<'EOF'
import os, struct, sys
out = sys.argv[1]
for path in sys.argv[2:]:
    data = open(path, "rb").read()
    at, fmt, samples = 12, b"", b""
    while at + 8 <= len(data):
        cid, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if cid == b"fmt ":
            fmt = data[at + 8:at + 8 + size]
        elif cid == b"data":
            samples = data[at + 8:at + 8 + min(size, 2048)]
        at += 8 + size + (size & 1)
    with open(os.path.join(out, os.path.basename(path) + ".bin"), "wb") as f:
        f.write(struct.pack("<H", len(fmt)) + fmt + samples)
EOF

for d in "$wav" "$mp3" "$tags" "$vqf" "$header" "$text" "$tagedit" "$renamelog" "$sound" \
    "$vorbis" "$layout"; do
    echo "$(basename "$d"): $(find "$d" -type f | wc -l) seeds, $(du -sk "$d" | cut -f1) KB"
done
