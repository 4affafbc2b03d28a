-- tables: items
create procedure "sp_MSupd_Items" @c1 int,@c2 varchar(20),@pkc1 int,@bitmap binary(1)
as
if substring(@bitmap,1,1) & 1 = 1
begin
update "Items" set "ItemID" = case substring(@bitmap,1,1) & 1 when 1 then @c1 else "ItemID" end
where "ItemID" = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
        exec sp_MSreplraiserror 20598
end
else
begin
update "Items" set "Label" = case substring(@bitmap,1,1) & 2 when 2 then @c2 else "Label" end
where "ItemID" = @pkc1
end
GO
create procedure "sp_MSins_Items" @c1 int,@c2 varchar(20)
AS
BEGIN
insert into "Items" values (@c1,@c2)
END
GO
