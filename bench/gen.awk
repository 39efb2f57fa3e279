# Writes a source file of LINES lines (about 70 bytes each) with a fenced
# block in the middle: one line in a hundred, each carrying the anchor
# EXPIRY_DATE, so that ten thousand lines of a million are stamped.
BEGIN {
    middle = int(LINES / 2); block = int(LINES / 100) + 2
    for (i = 1; i <= LINES; i++) {
        if (i == middle) print "/*"
        else if (i == middle + block) print "*/"
        else if (i > middle && i < middle + block)
            printf "    const expiresAt%07d = EXPIRY_DATE; // stamped by the build %8d\n", i, i
        else
            printf "    total = total + values[%07d] * weight(%07d); // line %010d\n", i, i, i
    }
}
