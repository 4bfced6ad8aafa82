Dear sysop of @LINK,

files for you have waited at @STATION for a week or more, so your
link is now @STATUS: nothing more is sent to you. What waited has been
removed from the outbound. Write "%RESUME" to the file-echo manager
when you can collect files again.
