Plain line
>***<