"""The library's text preparation, in Python: what QuorvelParse does to a text before the network sees it.

This is the one Python copy. Training samples are made with it, and make_fixtures.py writes its
results for the C++ tests (tests/fixtures_check), which compare them with the library byte for byte:
  clean            pre_data, censorStrWithOutSymbol, filter_string1 and the 40 % gate
  get_batch_string the three batch strategies, the automatic choice and digit blanking
  inferred_batches the driver's batch filter (more than 80 bytes, at most 65 % blanks)
  pieces           _SCRParse's 500-byte pieces
  encode           SCRNet::pre_process: 510 x 96 one-hot rows, short pieces repeated
All texts are bytes.
"""
import math

import numpy as np

# The library's alphabet (SCR::kAlphabet in recognizer/utils.h): make_fixtures.py writes it into the
# fixtures, and the C++ fixture test fails when the two differ.
ALPHABET = b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-,;.!?:'\"/\\|_@#$%^&*~`+- =<>()[]{}"
POSITIONS = 510          # rows of the network input
COLUMNS = len(ALPHABET)  # 96: the hyphen is there twice, column 85 is never set
PIECE_BYTES = 500
DEFAULT_BATCH_LEN = 500
DEFAULT_SAMPLE_NUMS = 5
MIN_CODE_SHARE = 0.4
MIN_TEXT_CHARS = 50
FULL_STRIDE = 250
DIGIT_SHARE = 0.4
SHORTEST_INFERRED = 81
MAX_BLANK_SHARE = 0.65
EMPTY_ROW = COLUMNS      # index of a row that holds no character (the network's zero row)
# The driver's decision on the softmax of the summed scores: "dialog" when the top probability is below
# CONFIDENCE, otherwise up to PLACES classes, each within CLOSENESS of the one listed before it.
CONFIDENCE, CLOSENESS, PLACES = 0.4, 0.1, 3

COLUMN_OF = np.full(256, -1, dtype=np.int16)
for _c, _b in reversed(list(enumerate(ALPHABET))):
    COLUMN_OF[_b] = _c  # the first position wins: "-" is column 62
IN_ALPHABET = bytes(b for b in range(256) if COLUMN_OF[b] >= 0)
_DROP_OUTSIDE = bytes(b for b in range(256) if COLUMN_OF[b] < 0)


# ---- cleaning -------------------------------------------------------------------------------------

def pre_data(text):
    """CR and TAB to blanks, lines trimmed of blanks, non-empty lines joined with nothing between."""
    text = text.replace(b"\r", b" ").replace(b"\t", b" ")
    return b"".join(line.strip(b" ") for line in text.split(b"\n") if line.strip(b" "))


def unit_bytes(b):
    return 1 if b < 0xC0 else 2 if b < 0xE0 else 3 if b < 0xF0 else 4


def censor(text):
    """censorStrWithOutSymbol: drops 3- and 4-byte sequences, keeps the lead byte of 2-byte ones."""
    nul = text.find(b"\0")
    if nul >= 0:
        text = text[:nul]
    if text.isascii():
        return text
    out = bytearray()
    pos, size = 0, len(text)
    while pos < size:
        b = text[pos]
        units = unit_bytes(b)
        if pos + units > size:
            break
        if units <= 2:
            out.append(b)
        pos += units
    return bytes(out)


def filter_alphabet(text):
    """filter_string1 with the alphabet: the bytes 0x20 to 0x7E, in order."""
    return text.translate(None, _DROP_OUTSIDE)


def clean(text):
    """The driver's three passes; None when less than 40 % of the flattened text survives (answer 0)."""
    flat = pre_data(text)
    cleaned = filter_alphabet(censor(flat))
    if len(cleaned) < MIN_CODE_SHARE * len(flat):
        return None
    return cleaned


# ---- batches --------------------------------------------------------------------------------------

class GlibcRand:
    """glibc's rand() (TYPE_3 additive feedback generator), seeded as srand(seed)."""

    def __init__(self, seed=1):
        seed = seed or 1
        r = [seed]
        for i in range(1, 31):
            hi, lo = divmod(r[i - 1], 127773)
            word = 16807 * lo - 2836 * hi
            if word < 0:
                word += 2147483647
            r.append(word)
        for i in range(31, 34):
            r.append(r[i - 31])
        for i in range(34, 344):
            r.append((r[i - 31] + r[i - 3]) & 0xFFFFFFFF)
        self.state = r[-34:]

    def __call__(self):
        value = (self.state[-31] + self.state[-3]) & 0xFFFFFFFF
        self.state.append(value)
        del self.state[0]
        return value >> 1


def _i32(v):
    v &= 0xFFFFFFFF
    return v - (1 << 32) if v >= (1 << 31) else v


def _windows(text, offsets, length):
    """get_utf8_substr's window-list form for an ASCII text: stops at the first offset that cuts nothing."""
    total = len(text)
    found = {}
    for off in sorted(set(offsets)):
        if off >= total:
            break
        end = min(off + length, total)
        if end > off:
            found[off] = text[off:end]
    out = []
    for off in offsets:
        if off not in found:
            break
        out.append(found[off])
    return out


def get_full(text, batch_len):
    if batch_len < 0:
        return []
    total = len(text)
    windows = 1 if total <= FULL_STRIDE else int(math.ceil(_i32(total - batch_len) / float(FULL_STRIDE))) + 1
    windows = max(windows, 1)
    return _windows(text, [i * FULL_STRIDE for i in range(windows)], batch_len)


def get_begin_and_end(text, batch_len):
    if batch_len < 0:
        return []
    total = len(text)
    if total < batch_len:
        return [text, text]
    return _windows(text, [0, total - batch_len], batch_len)


def get_sample_n(text, batch_len, sample_nums, rand):
    total = len(text)
    whole = 0 if batch_len <= 0 else total // batch_len
    if sample_nums > 0 and sample_nums > whole:
        sample_nums = whole
    offsets = []
    if sample_nums >= 1 and total > 0:
        last_start = (total - batch_len) & 0xFFFFFFFF
        offsets = [0 if last_start == 0 else rand() % last_start for _ in range(sample_nums)]
    return (_windows(text, offsets, batch_len) if offsets else []), sample_nums


def automatic_mode(size, batch_len):
    if size < _i32(batch_len * 2):
        return 0
    if size >= _i32(batch_len * 5):
        return 2
    return 1


def get_batch_string(text, mode=-1, batch_len=DEFAULT_BATCH_LEN, sample_nums=DEFAULT_SAMPLE_NUMS, rand=None):
    """(batches, effective mode, sample_nums after mode 2), or None for a text under 50 characters.

    `text` is a cleaned text (ASCII only); `rand` draws mode 2's starts (glibc's rand() by default)."""
    if len(text) < MIN_TEXT_CHARS:
        return None
    effective = mode if 0 <= mode <= 2 else automatic_mode(len(text), batch_len)
    if effective == 0:
        batches = get_full(text, batch_len)
    elif effective == 1:
        batches = get_begin_and_end(text, batch_len)
    else:
        batches, sample_nums = get_sample_n(text, batch_len, sample_nums, rand or GlibcRand(1))
    batches = [b"" if sum(b.count(d) for d in b"0123456789") >= DIGIT_SHARE * len(b) else b for b in batches]
    return batches, effective, sample_nums


def inferred(batch):
    """The driver's filter: batches of 80 bytes or fewer, or more than 65 % blanks, are not inferred."""
    return len(batch) >= SHORTEST_INFERRED and not batch.count(b" ") > MAX_BLANK_SHARE * len(batch)


def inferred_batches(batches):
    return [b for b in batches if inferred(b)]


def pieces(batch):
    """_SCRParse's pieces: consecutive 500-byte slices, the last one shorter."""
    count = int(math.ceil(np.float32(len(batch)) / np.float32(500.0)))
    return [batch[i * PIECE_BYTES:(i + 1) * PIECE_BYTES] for i in range(count) if batch[i * PIECE_BYTES:]]


def text_pieces(text, mode=-1, batch_len=DEFAULT_BATCH_LEN, sample_nums=DEFAULT_SAMPLE_NUMS, rand=None):
    """Every piece the library would run the network on for `text` (raw bytes); [] when it answers at once."""
    cleaned = clean(text)
    if cleaned is None:
        return []
    got = get_batch_string(cleaned, mode, batch_len, sample_nums, rand)
    if got is None:
        return []
    return [p for b in inferred_batches(got[0]) for p in pieces(b)]


# ---- encoding -------------------------------------------------------------------------------------

def rows(piece):
    """SCRNet::pre_process as column indices: 510 entries, EMPTY_ROW where a row stays all zero."""
    if not piece:
        raise ValueError("empty piece")
    copy = piece if len(piece) >= POSITIONS else piece * (1 + POSITIONS // len(piece))
    cols = COLUMN_OF[np.frombuffer(copy[:POSITIONS], dtype=np.uint8)]
    cols = cols[cols >= 0]
    out = np.full(POSITIONS, EMPTY_ROW, dtype=np.int64)
    out[:len(cols)] = cols
    return out


def encode(piece):
    """SCRNet::pre_process: the 510 x 96 one-hot matrix (float32)."""
    r = rows(piece)
    matrix = np.zeros((POSITIONS, COLUMNS + 1), dtype=np.float32)
    matrix[np.arange(POSITIONS), r] = 1.0
    return matrix[:, :COLUMNS].copy()
