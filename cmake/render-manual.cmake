# Renders the manual page as plain text, for readers without man: a Windows
# user, or anyone reading the zip. Usage: cmake -DIN=page.1 -DOUT=page.txt -P
find_program(GROFF groff REQUIRED)
execute_process(COMMAND "${GROFF}" -man -Tascii -P-cbou "${IN}" OUTPUT_FILE "${OUT}"
                COMMAND_ERROR_IS_FATAL ANY)
