"""The corpus's index.tsv: a row per file, with its class, project and split. corpus.py writes it, and
training, calibration and evaluation read the corpus through read_index alone."""
import os

COLUMNS = ("id", "class", "project", "split", "bytes", "path")


class IndexFormatError(ValueError):
    pass


def read_index(cache):
    """Every row of cache/index.tsv as a dict of COLUMNS ("bytes" an int). A header that is not the expected
    one, or a row with another number of fields, is an error naming the line: a silently misread index
    would train on the wrong labels."""
    path = os.path.join(cache, "index.tsv")
    rows = []
    with open(path, encoding="utf-8") as fh:
        header = fh.readline().rstrip("\n").split("\t")
        if tuple(header) != COLUMNS:
            raise IndexFormatError(f"{path}:1: header {header} is not {list(COLUMNS)}")
        for n, line in enumerate(fh, 2):
            fields = line.rstrip("\n").split("\t")
            if len(fields) != len(COLUMNS):
                raise IndexFormatError(f"{path}:{n}: {len(fields)} fields, not {len(COLUMNS)}")
            row = dict(zip(COLUMNS, fields))
            row["bytes"] = int(row["bytes"])
            rows.append(row)
    return rows


def write_index(cache, rows):
    """rows: dicts with COLUMNS; tabs and newlines in a path become blanks, so that a row stays one line."""
    with open(os.path.join(cache, "index.tsv"), "w", encoding="utf-8") as fh:
        fh.write("\t".join(COLUMNS) + "\n")
        for r in rows:
            path = r["path"].replace("\t", " ").replace("\n", " ")
            fh.write(f"{r['id']}\t{r['class']}\t{r['project']}\t{r['split']}\t{r['bytes']}\t{path}\n")


def file_path(cache, row):
    return os.path.join(cache, "files", row["id"])


def of_split(rows, split):
    return [r for r in rows if r["split"] == split]
