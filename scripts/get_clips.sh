#!/usr/bin/env bash
# Builds the benchmark clip set in bench/clips/ (git-ignored): 44.1 kHz 16-bit stereo WAV
# files of 10-20 s each. Music comes from two small Debian packages (ringtones in Ogg
# Vorbis, game music in MP3; about 30 MB downloaded, unpacked into a cache folder and
# never installed), speech from espeak-ng (installed when missing), and the rest is
# synthesised with sox. Safe to run again: existing clips are kept, and the same clips come out every time.
# Also installs, when missing, the tools the benchmark runs: sox, and lame and opus-tools
# as its reference codecs.
# Also builds a held-out set in bench/clips-heldout/ from two packages that nothing else
# uses (no tuning, no codebook training): a gain that does not show there is no gain
# (`codec_bench --clips bench/clips-heldout`).
# Usage: scripts/get_clips.sh [CLIP_DIR [HELD_OUT_DIR]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
clips=${1:-$root/bench/clips}
heldout=${2:-$root/bench/clips-heldout}
cache=${TEMBREL_CLIP_CACHE:-$root/bench/clips/.debs}
mkdir -p "$clips" "$heldout" "$cache"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

need_packages=()
for p in sox libsox-fmt-all lame opus-tools espeak-ng; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    need_packages+=("$p")
  fi
done
if [ ${#need_packages[@]} -gt 0 ]; then
  echo "clips: installing ${need_packages[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${need_packages[@]}"
fi

# Unpacks a Debian package into the cache without installing it.
unpack() {
  local pkg=$1
  if [ ! -d "$cache/$pkg" ]; then
    # A fresh machine has no package lists yet: fetch them once and try again.
    if ! (cd "$cache" && apt-get download -q "$pkg"); then
      $SUDO apt-get update -q
      (cd "$cache" && apt-get download -q "$pkg")
    fi
    mkdir -p "$cache/$pkg"
    dpkg-deb -x "$cache/${pkg}"_*.deb "$cache/$pkg"
    rm -f "$cache/${pkg}"_*.deb
  fi
}

# Final form of every clip: 44.1 kHz, 16 bits, two channels, no dither so that runs repeat.
to_clip() {
  local in=$1 out=$2 start=$3 length=$4
  sox -R -D -G "$in" -b 16 "$out.tmp.wav" trim "$start" "$length" channels 2 rate -v 44100
  mv "$out.tmp.wav" "$out"
}

have() { [ -s "$clips/$1.wav" ]; }

# Joins a package's short speech files (in name order) into one clip of `length` seconds.
join_speech() {
  local out=$1 length=$2
  shift 2
  [ -s "$out" ] && return 0
  sox -R -D "$@" -r 44100 "$out.joined.wav"
  to_clip "$out.joined.wav" "$out" 0 "$length"
  rm -f "$out.joined.wav"
}

# --- music from packages ---
unpack lomiri-sounds
ring="$cache/lomiri-sounds/usr/share/sounds/lomiri/ringtones"
declare -A ringtones=(
  [music_latin]="Latin.ogg|0|16"
  [music_soul]="Soul.ogg|2|15"
  [music_entropy]="Entropy.ogg|6|15"
  [music_koto]="Koto chords.ogg|0|14"
  [music_piano]="Melody piano.ogg|0|10.7"
  [music_callme]="Call me.ogg|0|18"
)
for name in "${!ringtones[@]}"; do
  have "$name" && continue
  IFS='|' read -r file start length <<<"${ringtones[$name]}"
  to_clip "$ring/$file" "$clips/$name.wav" "$start" "$length"
done

unpack asc-music
asc="$cache/asc-music/usr/share/games/asc/music"
declare -A tracks=([music_orchestra]="frontiers.mp3|40|15" [music_rock]="machine_wars.mp3|30|15")
for name in "${!tracks[@]}"; do
  have "$name" && continue
  IFS='|' read -r file start length <<<"${tracks[$name]}"
  lame --quiet --decode "$asc/$file" "$clips/$name.full.wav"
  to_clip "$clips/$name.full.wav" "$clips/$name.wav" "$start" "$length"
  rm -f "$clips/$name.full.wav"
done

# --- speech ---
speak() {
  local name=$1 voice=$2 text=$3
  have "$name" && return 0
  espeak-ng -v "$voice" -s 150 -w "$clips/$name.raw.wav" "$text"
  to_clip "$clips/$name.raw.wav" "$clips/$name.wav" 0 20
  rm -f "$clips/$name.raw.wav"
}
speak speech_en_male en-gb "The quick brown fox jumps over the lazy dog. \
Please check the sound of speech plosives, such as paper, ticket and cupboard, and the \
sibilants in six sizzling sausages. Seven thousand small ships sailed past the harbour \
before the storm reached the coast."
speak speech_en_female en-us+f3 "Good evening. Here is the weather for tomorrow: strong winds \
from the west, short showers in the afternoon, and a cold, clear night. Temperatures stay \
between four and nine degrees. Drive carefully on the bridges."
speak speech_de de "Zwölf Boxkämpfer jagen Viktor quer über den großen Sylter Deich. \
Die Sprachverständlichkeit hängt stark von den Zischlauten und den Verschlusslauten ab."

# --- synthesised ---
if ! have synth_chord_vibrato; then
  # A major chord of four harmonic-rich notes, each with its own 5-6 Hz vibrato of about
  # 15 cents, spread across the stereo field, with a slow swell.
  python3 - "$clips/synth_chord_vibrato.wav" <<'PY'
import math, struct, sys, wave
rate, seconds = 44100, 12
notes = [(220.0, 5.1, 0.2), (277.18, 5.6, 0.8), (329.63, 5.9, 0.35), (440.0, 5.3, 0.65)]
phases = [0.0] * len(notes)
frames = bytearray()
for n in range(rate * seconds):
    t = n / rate
    swell = 0.55 + 0.45 * math.sin(2 * math.pi * 0.2 * t)
    left = right = 0.0
    for i, (f0, vib, pan) in enumerate(notes):
        f = f0 * 2 ** (15 / 1200 * math.sin(2 * math.pi * vib * t + i))
        phases[i] += 2 * math.pi * f / rate
        p = phases[i]
        v = math.sin(p) + 0.5 * math.sin(2 * p) + 0.25 * math.sin(3 * p) + 0.12 * math.sin(5 * p)
        left += v * (1 - pan)
        right += v * pan
    fade = min(1.0, t / 0.5, (seconds - t) / 1.0)
    g = 5200 * swell * fade
    frames += struct.pack('<hh', int(left * g), int(right * g))
with wave.open(sys.argv[1], 'wb') as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate); w.writeframes(bytes(frames))
PY
fi
if ! have synth_castanets; then
  # Short decaying noise clicks in an uneven rhythm over silence: the pre-echo test.
  sox -R -D -n -r 44100 -b 16 -c 1 "$clips/click.wav" synth 0.012 whitenoise fade p 0 0.012 0.011 \
    highpass 1500 pad 0 0.2
  sox -R -D -n -r 44100 -b 16 -c 1 "$clips/gap.wav" trim 0 0.137
  parts=()
  for i in $(seq 1 40); do parts+=("$clips/click.wav"); if [ $((i % 3)) -eq 0 ]; then parts+=("$clips/gap.wav"); fi; done
  sox -R -D "${parts[@]}" "$clips/tmp.wav"
  sox -R -D "$clips/tmp.wav" -b 16 "$clips/synth_castanets.wav" trim 0 12 channels 2 norm -1
  rm -f "$clips/click.wav" "$clips/gap.wav" "$clips/tmp.wav"
fi
if ! have synth_drums; then
  # Kick (falling sine), snare (noise + tone) and hi-hat (high noise) in a 4/4 loop.
  sox -R -D -n -r 44100 -b 16 -c 1 "$clips/kick.wav" synth 0.25 sine 150-45 fade p 0 0.25 0.22 pad 0 0.25
  sox -R -D -n -r 44100 -b 16 -c 1 "$clips/snare.wav" synth 0.2 whitenoise synth 0.2 sine mix 190 \
    fade p 0 0.2 0.18 pad 0 0.05
  sox -R -D -n -r 44100 -b 16 -c 1 "$clips/hat.wav" synth 0.05 whitenoise highpass 7000 fade p 0 0.05 0.045 \
    pad 0 0.2
  sox -R -D "$clips/kick.wav" "$clips/hat.wav" "$clips/snare.wav" "$clips/hat.wav" "$clips/bar.wav"
  sox -R -D "$clips/bar.wav" "$clips/loop.wav" repeat 11
  sox -R -D "$clips/loop.wav" -b 16 "$clips/synth_drums.wav" trim 0 12 channels 2 norm -1
  rm -f "$clips"/{kick,snare,hat,bar,loop}.wav
fi
if ! have synth_noise_bursts; then
  # Pink-noise bursts of varied length and level, separated by silence.
  parts=()
  for spec in "0.3 -6" "0.05 -12" "1.0 -20" "0.1 -3" "2.0 -10" "0.02 -6" "0.5 -30" "1.5 -8"; do
    read -r len gain <<<"$spec"
    sox -R -D -n -r 44100 -b 16 -c 2 "$clips/burst$len.wav" synth "$len" pinknoise gain "$gain" \
      fade h 0.005 "$len" 0.005 pad 0 0.6
    parts+=("$clips/burst$len.wav")
  done
  sox -R -D "${parts[@]}" "$clips/tmp.wav" repeat 1
  sox -R -D "$clips/tmp.wav" -b 16 "$clips/synth_noise_bursts.wav" trim 0 14
  rm -f "$clips"/burst*.wav "$clips/tmp.wav"
fi

# --- held out: band music (44.1 kHz stereo) and voice acting, from packages used nowhere else ---
unpack fretsonfire-songs-muldjord
songs="$cache/fretsonfire-songs-muldjord/usr/share/games/fretsonfire/data/songs/muldjord"
[ -s "$heldout/heldout_music_chaos.wav" ] ||
  to_clip "$songs/chaos_god/song.ogg" "$heldout/heldout_music_chaos.wav" 60 15
[ -s "$heldout/heldout_music_mime.wav" ] ||
  to_clip "$songs/mutilated_mime/song.ogg" "$heldout/heldout_music_mime.wav" 40 15
unpack fillets-ng-data
voices="$cache/fillets-ng-data/usr/share/games/fillets-ng/sound"
join_speech "$heldout/heldout_speech_linux.wav" 15 "$voices"/linux/en/*.ogg
join_speech "$heldout/heldout_speech_viking.wav" 15 "$voices"/viking1/en/*.ogg

ls -1 "$clips"/*.wav "$heldout"/*.wav | while read -r f; do printf '%-28s %6.2f s\n' "$(basename "$f")" "$(soxi -D "$f")"; done
