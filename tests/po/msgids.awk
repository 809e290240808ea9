# Prints each msgid and msgid_plural of a PO file on a line of its own, as written (escaped).
/^msgid(_plural)? "/ { if (id != "") print id; sub(/^msgid(_plural)? "/, ""); sub(/"$/, ""); id = $0; open = 1; next }
open && /^"/ { sub(/^"/, ""); sub(/"$/, ""); id = id $0; next }
{ if (open && id != "") print id; open = 0; id = "" }
END { if (open && id != "") print id }
