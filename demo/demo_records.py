"""What both demo generators share: their command line and the record files
they write, tab-separated in Windows-1250 as `qorserver load` reads them."""
import argparse
import os


def arguments(doc, customers, seed):
    """OUTDIR (made where missing), --customers and --seed with the generator's defaults."""
    ap = argparse.ArgumentParser(description=doc.splitlines()[0])
    ap.add_argument("outdir")
    ap.add_argument("--customers", type=int, default=customers)
    ap.add_argument("--seed", type=int, default=seed)
    args = ap.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    return args


def tsv_writer(outdir):
    """writer(NAME, FIELDS): OUTDIR/NAME.tsv, opened with the header line of its fields written."""
    def writer(name, fields):
        f = open(os.path.join(outdir, name + ".tsv"), "w", encoding="cp1250", newline="\n")
        f.write("\t".join(fields) + "\n")
        return f
    return writer


def row(f, *values):
    f.write("\t".join(str(v) for v in values) + "\n")
