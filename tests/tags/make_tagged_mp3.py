#!/usr/bin/env python3
"""Tags an MP3 file the way common taggers do, for the song-tag tests.

usage: make_tagged_mp3.py KIND FILE
  v23-utf16  ID3v2.3, UTF-16 texts, a long Japanese title, two comments, a cover picture
  v24-utf8   ID3v2.4, UTF-8 texts with vendor characters, recording date, user URL
  v11        ID3v1.1 block only (no ID3v2 tag)
"""
import sys

from mutagen.id3 import (APIC, COMM, ID3, TALB, TCOM, TCON, TDRC, TIT2, TPE1, TRCK, TSSE,
                         WXXX, Encoding, PictureType)
import mutagen.id3


def v23_utf16(path):
    tags = ID3()
    utf16 = Encoding.UTF16
    tags.add(TIT2(encoding=utf16, text="日本語" * 50))
    tags.add(TPE1(encoding=utf16, text="歌手"))
    tags.add(TALB(encoding=utf16, text="Album ①"))
    tags.add(TRCK(encoding=utf16, text="3/10"))
    tags.add(TDRC(encoding=utf16, text="1999"))
    tags.add(TCON(encoding=utf16, text="Anime"))
    tags.add(COMM(encoding=utf16, lang="eng", desc="iTunNORM", text=" 00000 00000"))
    tags.add(COMM(encoding=utf16, lang="jpn", desc="", text="コメント"))
    tags.add(APIC(encoding=utf16, mime="image/png", type=PictureType.COVER_FRONT,
                  desc="cover", data=bytes(range(256)) * 2))
    tags.save(path, v2_version=3, v1=0)


def v24_utf8(path):
    tags = ID3()
    utf8 = Encoding.UTF8
    tags.add(TIT2(encoding=utf8, text="波～①"))
    tags.add(TPE1(encoding=utf8, text="Artist"))
    tags.add(TRCK(encoding=utf8, text="05/12"))
    tags.add(TDRC(encoding=utf8, text="2021"))
    tags.add(TCOM(encoding=utf8, text="作曲"))
    tags.add(TSSE(encoding=utf8, text="LAME"))
    tags.add(COMM(encoding=utf8, lang="eng", desc="", text="UTF-8 comment"))
    tags.add(WXXX(encoding=utf8, desc="", url="http://example.org/"))
    tags.save(path, v2_version=4, v1=0)


def v11(path):
    tags = ID3()
    tags.add(TIT2(encoding=Encoding.LATIN1, text="Version one"))
    tags.add(TPE1(encoding=Encoding.LATIN1, text="Old Artist"))
    tags.add(TRCK(encoding=Encoding.LATIN1, text="7"))
    tags.add(TCON(encoding=Encoding.LATIN1, text="Anime"))
    tags.save(path, v1=2)
    mutagen.id3.delete(path, delete_v1=False, delete_v2=True)


def main():
    kind, path = sys.argv[1], sys.argv[2]
    {"v23-utf16": v23_utf16, "v24-utf8": v24_utf8, "v11": v11}[kind](path)


if __name__ == "__main__":
    main()
