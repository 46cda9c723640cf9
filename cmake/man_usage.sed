# Leaves out the usage lines that open a --help text, from "usage:" to the
# paragraph break after them, at the start of a help2man page's DESCRIPTION.
/^\.SH DESCRIPTION$/{
  n
  /^usage:/{
    :more
    N
    /\n\.PP$/!b more
    d
  }
}
